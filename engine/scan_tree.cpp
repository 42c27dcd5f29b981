#include "engine/scan_tree.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <vector>

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
  Walk() {
    for (std::size_t i = 0; i < kHandlerCount; ++i) words[i] = UpperCaseText(kHandlers[i].word);
  }
  std::string words[kHandlerCount];
};

// The repairer of a file named `name`, or null: its extension, upper-cased,
// is one of the handlers' words.
const ExtensionHandler* HandlerFor(const std::string& name, const Walk& walk) {
  const std::string* word = std::find(std::begin(walk.words), std::end(walk.words),
                                      UpperCaseText(GetNameExtension(name)));
  return word == std::end(walk.words) ? nullptr : &kHandlers[word - walk.words];
}

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

// True when the marker is gone. Its attributes are reset even when the
// deletion then fails. `name` is the marker's entry as its folder holds it.
bool DeleteMarker(const std::string& folder, const std::string& name) {
  std::string marker = folder + "\\" + name;
  Sys().SetFileAttributesA(marker.c_str(), kAttrNormal);
  Sys().Sleep(1);
  if (!Sys().DeleteFileA(marker.c_str())) return false;
  WindowLog(marker + kDeletedLog);
  return true;
}

std::int64_t EntrySize(const FindData& entry) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(entry.sizeHigh) << 32) | entry.sizeLow);
}

// One entry of a folder's listing, as much of it as the walk uses.
struct ListedEntry {
  std::string name;
  std::string shortName;  // the 8.3 name, when the system gave the entry one
  std::uint32_t attributes;
  std::uint32_t reparseTag;  // with kAttrReparsePoint; 0 when the system gave none
  std::int64_t size;  // the full size, both halves
  FileTime lastWriteTime;
};
using Listing = std::vector<ListedEntry>;

ListedEntry EntryOf(const FindData& data) {
  return {std::string(data.name, strnlen(data.name, sizeof data.name)),
          std::string(data.alternateName, strnlen(data.alternateName, sizeof data.alternateName)),
          data.attributes, data.reparseTag, EntrySize(data), data.lastWriteTime};
}

// The whole listing of `folder` (ending in "\"); false when the folder cannot
// be listed or its listing broke off before the end (a network folder, a
// damaged disk), with what was read up to the break. A folder whose listing
// finds no memory counts as one that cannot be listed.
bool ListFolder(const std::string& folder, Listing* entries) {
  try {
    std::string pattern = folder + "*.*";
    if (!FitsPath(pattern)) return false;
    TSearchRec rec;
    if (ListFirstEntry(pattern, kListAllAttributes, rec) != 0) return false;
    std::uint32_t end = 0;
    do {
      entries->push_back(EntryOf(rec.entry));
    } while ((end = ListNextEntry(rec)) == 0);
    return end == kErrorNoMoreFiles;
  } catch (...) {
    entries->clear();
    return false;
  }
}

// A search for a marker's name matches an entry's long name or its 8.3 short
// name, ignoring the case of the letters, and finds the first such entry.
bool IsMarker(const ListedEntry& entry, const std::string& upperMarker) {
  return UpperCaseAscii(entry.name) == upperMarker || UpperCaseAscii(entry.shortName) == upperMarker;
}

// The entry a search for the marker finds: from the folder's whole listing,
// else from a search of its own.
bool FindMarker(const std::string& folder, int i, const Listing& entries, bool whole, ListedEntry* found) {
  if (!whole) {
    FindData data;
    SearchHandle search = FindFirstEntry(folder + "\\" + MarkerFileNames[i], &data);
    if (search.IsOpen()) *found = EntryOf(data);
    return search.IsOpen();
  }
  const std::string wanted = UpperCaseAscii(MarkerFileNames[i]);
  auto it = std::find_if(entries.begin(), entries.end(), [&](const ListedEntry& e) { return IsMarker(e, wanted); });
  if (it != entries.end()) *found = *it;
  return it != entries.end();
}

// A marker found by its 8.3 name may have a long name too long for the path
// calls; it is deleted by the name that fits. Null when neither does: an
// empty 8.3 name would name the folder itself.
const std::string* NameThatFits(const std::string& folder, const ListedEntry& marker) {
  if (FitsPath(folder + "\\" + marker.name)) return &marker.name;
  if (!marker.shortName.empty() && FitsPath(folder + "\\" + marker.shortName)) return &marker.shortName;
  return nullptr;
}

// A whole listing holds every name a search for a marker would find, so the
// markers are found in it rather than with a search of their own each: under
// Wine a search for a name that is not there reads the whole folder. A folder
// whose listing broke off or failed gets the search. A marker counts when its
// entry is a file with a time MS-DOS can hold. The entry that decides is the
// one deleted and named in the log, and it leaves the listing, as it would
// have left a listing taken after it.
void DeleteMarkers(const std::string& folder, Listing& entries, bool whole) {
  for (int i = 0; i < 2; ++i) {
    ListedEntry marker;
    if (!FitsPath(folder + "\\" + MarkerFileNames[i]) || !FindMarker(folder, i, entries, whole, &marker)) continue;
    const std::string* byName = NameThatFits(folder, marker);
    if (FileStampOf(marker.attributes, marker.lastWriteTime) == -1 || byName == nullptr) continue;
    if (!DeleteMarker(folder, *byName)) continue;
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ListedEntry& e) { return e.name == marker.name; }),
                  entries.end());
  }
}

// A file below the size limit: counted and shown.
void CountFile(const std::string& path) {
  ++ScannedFiles;
  SetStatusText(1, kPanelScannedPrefix + FormatInteger(ScannedFiles));
  ShowCurrentFile(path);
}

// A file on this disk is also handed to its repairer.
void ExamineFile(const std::string& path, const std::string& name, const Walk& walk) {
  CountFile(path);
  if (const ExtensionHandler* repairer = HandlerFor(name, walk)) repairer->handler(path);
}

void WalkEntries(const std::string& folder, const Listing& entries, const Walk& walk);

// A subfolder: its markers are deleted before anything in it is walked. The
// markers go with the folder that holds the subfolder (a failure there ends
// that folder, as a failure of any of its entries does); the listing and the
// walk below are the subfolder's own.
void EnterSubfolder(const std::string& path, const Walk& walk) {
  Listing entries;
  const bool whole = ListFolder(path + "\\", &entries);
  DeleteMarkers(path, entries, whole);
  WalkEntries(path + "\\", entries, walk);
}

void HandleEntry(const std::string& folder, const ListedEntry& entry, const Walk& walk) {
  const std::string path = folder + entry.name;
  switch (FateOf(path, entry.name, entry.attributes, entry.reparseTag, entry.size)) {
    case EntryFate::kEntered: EnterSubfolder(path, walk); break;
    case EntryFate::kExamined: ExamineFile(path, entry.name, walk); break;
    case EntryFate::kCounted: CountFile(path); break;
    case EntryFate::kPassedOver: break;
  }
}

// One folder, depth first, in the order of its listing: each entry, then the
// pause and the stop test.
void WalkEntries(const std::string& folder, const Listing& entries, const Walk& walk) {
  try {
    for (const ListedEntry& entry : entries) {
      HandleEntry(folder, entry, walk);
      Sys().Sleep(kScanPacingDelay);
      if (ScanStopped) break;
    }
  } catch (...) {
    // A failure ends this folder only; the parent goes on with its next entry.
  }
}

// A folder that stands for another one (a junction, a symbolic link, or what
// Wine lists for a Unix link: no tag at all) is passed over: what it leads to
// is walked under its own path, and a link back into its own tree would be
// walked again at every level. A volume mounted into a folder has no letter
// of its own and is walked nowhere else, so it is entered; the system tells
// it from a junction, which carries the same tag. Other reparse points (a
// cloud client's placeholders, deduplicated data) are ordinary folders.
bool IsFolderLink(const std::string& path, std::uint32_t attributes, std::uint32_t reparseTag) {
  if (!(attributes & kAttrReparsePoint)) return false;
  if (reparseTag != 0 && !(reparseTag & kTagNameSurrogate)) return false;
  if (reparseTag != kTagMountPoint) return true;
  char volume[64] = {};
  return !Sys().GetVolumeNameForVolumeMountPointW((path + "\\").c_str(), volume, sizeof volume);
}

// A file whose bytes a storage client keeps elsewhere (files on demand of a
// cloud client, offline files of a storage manager) is fetched when it is
// read. Nothing here can have changed bytes that are not on this disk, so it
// is counted and shown but never opened.
bool IsOnThisDisk(std::uint32_t attributes) {
  return !(attributes & (kAttrRecallOnDataAccess | kAttrOffline));
}

}  // namespace

// Names starting with "." (the folder itself, its parent, and what the system
// keeps apart that way) are passed over, and so are files of 30 MiB and more.
// Files are judged by their full size, so that one of 4 GiB and more whose
// low 32 bits happen to be small is skipped like any other large file; the
// size is the one the folder's listing gave, as a search of its own per file
// would tell nothing new. A path longer than the file calls take is passed
// over, never cut short: a shortened path would name some other file.
EntryFate FateOf(const std::string& path, const std::string& name, std::uint32_t attributes,
                 std::uint32_t reparseTag, std::int64_t size) {
  if (name.empty() || name[0] == '.' || !FitsPath(path)) return EntryFate::kPassedOver;
  if (attributes & kAttrDirectory) {
    return IsFolderLink(path, attributes, reparseTag) ? EntryFate::kPassedOver : EntryFate::kEntered;
  }
  if (size >= kMaxScanFileSize) return EntryFate::kPassedOver;
  return IsOnThisDisk(attributes) ? EntryFate::kExamined : EntryFate::kCounted;
}

bool HasRepairer(const std::string& name) { return HandlerFor(name, Walk()) != nullptr; }

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

// A failure anywhere in the walk of a drive, its words included, ends that
// drive only: the worker goes on with the next one.
void ScanTree(const std::string& start) {
  try {
    const Walk walk;
    std::string folder = start;
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    Listing entries;
    ListFolder(folder, &entries);
    WalkEntries(folder, entries, walk);
  } catch (...) {
  }
}

}  // namespace vx
