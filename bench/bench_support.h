// Small pieces the Windows benchmarks share: a clock, percentiles, a window
// that swallows the engine's reports, and the walker's rules for which entries
// a walk visits, so that a benchmark can count what the program will see.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/scan_tree.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace bench {

inline double SecondsNow() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The p-th percentile (0..100) of the samples, nearest rank; 0 when empty.
inline double Percentile(std::vector<double> samples, double p) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  std::size_t rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(samples.size()) + 0.999999);
  rank = std::min(std::max<std::size_t>(rank, 1), samples.size());
  return samples[rank - 1];
}

// Takes every report of the engine and shows nothing; the pattern field holds
// the text given.
class QuietWindow : public vx::WindowOps {
 public:
  explicit QuietWindow(std::string pattern = std::string()) : pattern_(std::move(pattern)) {}
  void WindowLog(const std::string&) override { ++lines; }
  void SetStatusText(int, const std::string&) override {}
  void ShowCurrentFile(const std::string&) override {}
  std::string ReadPattern() override { return pattern_; }
  void EnableFullScan(bool) override {}
  void EmptyLog() override {}
  long lines = 0;

 private:
  std::string pattern_;
};

constexpr std::uint64_t kMaxScanFileSize = static_cast<std::uint64_t>(vx::kMaxScanFileSize);

inline std::uint64_t EntrySize(const WIN32_FIND_DATAA& entry) {
  return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// True when the walker hands a file of this name to one of the repairers.
inline bool HasHandledExtension(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  CharUpperBuffA(&extension[0], static_cast<DWORD>(extension.size()));
  for (const char* word : {"HTML", "HTM", "ASP", "PHP", "JSP", "ASPX", "EXE", "SCR", "PIF", "COM"}) {
    if (extension == word) return true;
  }
  return false;
}

// Lists folder (ending in "\") with FindFirstFileA/FindNextFileA as the walker
// does, calling visit for every entry it lists and descending where the
// walker descends: folders whose name does not start with ".", within the
// path limit of the ANSI calls. Returns the number of entries listed.
inline long WalkLikeScan(const std::string& folder,
                         const std::function<void(const std::string& path, const WIN32_FIND_DATAA&)>& visit) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  long entries = 0;
  do {
    ++entries;
    std::string name = entry.cFileName;
    std::string path = folder + name;
    if (name.empty() || name[0] == '.' || !vx::FitsAnsiPath(path)) continue;
    visit(path, entry);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) entries += WalkLikeScan(path + "\\", visit);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return entries;
}

// The roots of the drives a full scan walks: types removable, fixed and
// remote, A: and B: left out, highest letter first.
inline std::vector<std::string> ScannedRoots() {
  std::vector<std::string> roots;
  for (char letter = 'Z'; letter >= 'C'; --letter) {
    std::string root = std::string(1, letter) + ":\\";
    UINT type = GetDriveTypeA(root.c_str());
    if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED || type == DRIVE_REMOTE) roots.push_back(root);
  }
  return roots;
}

}  // namespace bench
