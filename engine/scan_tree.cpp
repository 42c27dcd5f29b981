#include "engine/scan_tree.h"

#include <cstring>

#include "engine/clean_web_page.h"
#include "engine/restore_infected_file.h"
#include "engine/scan_control.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace vx {

const char* const MarkerFileNames[2] = {"Quellin_.ini", "Quellin__.ini"};

namespace {

struct ExtensionHandler {
  const char* word;
  void (*handler)(const std::string& path);
};
const ExtensionHandler kHandlers[] = {
    {"html", CleanWebPage}, {"htm", CleanWebPage}, {"asp", CleanWebPage},
    {"php", CleanWebPage},  {"jsp", CleanWebPage}, {"aspx", CleanWebPage},
    {"EXE", RestoreInfectedFile}, {"SCR", RestoreInfectedFile},
    {"PIF", RestoreInfectedFile}, {"COM", RestoreInfectedFile},
};
constexpr std::size_t kHandlerCount = sizeof kHandlers / sizeof kHandlers[0];

// What one walk works out once instead of for every file: the handlers'
// words, upper-cased the way each file's extension is.
struct Walk {
  std::string words[kHandlerCount];
};

void CopyEntry(TSearchRec& rec) {
  rec.size = static_cast<std::int32_t>(rec.entry.sizeLow);
  rec.attributes = rec.entry.attributes;
  rec.name.assign(rec.entry.name, strnlen(rec.entry.name, sizeof rec.entry.name));
}

// Moves past entries with an excluded attribute; 0 when one is left.
std::uint32_t SkipExcluded(TSearchRec& rec) {
  while (rec.entry.attributes & rec.excludeMask) {
    if (!Sys().FindNextFileA(rec.search.Get(), &rec.entry)) return Sys().GetLastError();
  }
  CopyEntry(rec);
  return 0;
}

bool FitsAnsiPath(const std::string& path) { return path.size() <= kMaxAnsiPath; }

void DeleteMarkers(const std::string& folder) {
  for (int i = 0; i < 2; ++i) {
    std::string marker = folder + "\\" + MarkerFileNames[i];
    if (!FitsAnsiPath(marker) || !QueryFilePresent(marker)) continue;
    Sys().SetFileAttributesA(marker.c_str(), kAttrNormal);
    Sys().Sleep(1);
    if (Sys().DeleteFileA(marker.c_str())) WindowLog(folder + "\\" + MarkerFileNames[i] + kDeletedLog);
  }
}

void Dispatch(const std::string& path, const std::string& name, const Walk& walk) {
  std::string extension = UpperCaseText(GetNameExtension(name));
  for (std::size_t i = 0; i < kHandlerCount; ++i) {
    if (extension == walk.words[i]) kHandlers[i].handler(path);
  }
}

std::int64_t EntrySize(const FindData& entry) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(entry.sizeHigh) << 32) | entry.sizeLow);
}

// Files are judged by their full size, so that one of 4 GiB and more whose
// low 32 bits happen to be small is skipped like any other large file. The
// size is the one the folder's listing just gave for this entry: asking the
// directory again for the same entry, one more search per file, would tell
// nothing new.
void ExamineFile(const std::string& path, const std::string& name, std::int64_t size, const Walk& walk) {
  if (size >= kMaxScanFileSize) return;
  ++ScannedFiles;
  SetStatusText(1, kPanelScannedPrefix + FormatInteger(ScannedFiles));
  ShowCurrentFile(path);
  Dispatch(path, name, walk);
}

void WalkFolder(const std::string& start, const Walk& walk);

// A path longer than the ANSI calls take is passed over, never cut short: a
// shortened path would name some other file. The same bound ends a descent
// through a folder link that leads back into the tree.
void HandleEntry(const std::string& folder, const TSearchRec& rec, const Walk& walk) {
  if (rec.name.empty() || rec.name[0] == '.') return;
  std::string path = folder + rec.name;
  if (!FitsAnsiPath(path)) return;
  if (rec.attributes & kAttrDirectory) {
    DeleteMarkers(path);
    WalkFolder(path, walk);
  } else {
    ExamineFile(path, rec.name, EntrySize(rec.entry), walk);
  }
}

// One folder, depth first: each entry, then the pause and the stop test.
void WalkFolder(const std::string& start, const Walk& walk) {
  std::string folder = start;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  std::string pattern = folder + "*.*";
  if (!FitsAnsiPath(pattern)) return;
  TSearchRec rec;
  try {
    if (ListFirstEntry(pattern, kListAllAttributes, rec) == 0) {
      do {
        HandleEntry(folder, rec, walk);
        Sys().Sleep(kScanPacingDelay);
      } while (!ScanStopped && ListNextEntry(rec) == 0);
    }
  } catch (...) {
    // A failure ends this folder only; the parent goes on with its next entry.
  }
}

}  // namespace

std::uint32_t ListFirstEntry(const std::string& pattern, std::uint32_t attributeSet, TSearchRec& rec) {
  rec.excludeMask = ~attributeSet & (kAttrHidden | kAttrSystem | kAttrVolumeLabel | kAttrDirectory);
  rec.search = FindFirstEntry(pattern, &rec.entry);
  if (!rec.search.IsOpen()) return Sys().GetLastError();
  std::uint32_t error = SkipExcluded(rec);
  if (error != 0) ListClose(rec);
  return error;
}

std::uint32_t ListNextEntry(TSearchRec& rec) {
  if (!Sys().FindNextFileA(rec.search.Get(), &rec.entry)) return Sys().GetLastError();
  return SkipExcluded(rec);
}

void ListClose(TSearchRec& rec) { rec.search.Close(); }

void ScanTree(const std::string& start) {
  Walk walk;
  try {
    for (std::size_t i = 0; i < kHandlerCount; ++i) walk.words[i] = UpperCaseText(kHandlers[i].word);
  } catch (...) {
    return;  // no memory even for ten words: nothing can be walked
  }
  WalkFolder(start, walk);
}

}  // namespace vx
