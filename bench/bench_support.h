// Small pieces the Windows benchmarks share: a clock, percentiles, a window
// that swallows the engine's reports, and a walk that follows the walker's
// own rules, so that a benchmark can count what the program will see.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/scan_control.h"
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

inline std::int64_t EntrySize(const WIN32_FIND_DATAA& entry) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
}

// Lists folder (ending in "\") with FindFirstFileA/FindNextFileA and follows
// the walker's own rules (vx::FateOf): calls examine for every file a walk
// examines and descends where it descends. Returns the number of entries
// listed.
inline long WalkLikeScan(const std::string& folder,
                         const std::function<void(const std::string& path, const WIN32_FIND_DATAA&)>& examine) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  long entries = 0;
  do {
    ++entries;
    std::string path = folder + entry.cFileName;
    const DWORD tag = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? entry.dwReserved0 : 0;
    switch (vx::FateOf(path, entry.cFileName, entry.dwFileAttributes, tag, EntrySize(entry))) {
      case vx::EntryFate::kEntered: entries += WalkLikeScan(path + "\\", examine); break;
      case vx::EntryFate::kExamined: examine(path, entry); break;
      case vx::EntryFate::kCounted: case vx::EntryFate::kPassedOver: break;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return entries;
}

// The roots of the drives a full scan walks, in its order (highest letter
// first), from the engine's own choice of drives; asks the engine's
// platform, which the caller sets.
inline std::vector<std::string> ScannedRoots() {
  std::vector<std::string> roots;
  const std::string letters = vx::ListScanDrives();
  for (auto letter = letters.rbegin(); letter != letters.rend(); ++letter) {
    if (!vx::IsFloppyLetter(std::string(1, *letter))) roots.push_back(std::string(1, *letter) + ":\\");
  }
  return roots;
}

}  // namespace bench
