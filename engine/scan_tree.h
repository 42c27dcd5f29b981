// The directory walker and its folder-listing operations.
#pragma once
#include <cstdint>
#include <string>

#include "util/handles.h"
#include "platform/platform.h"

namespace vx {

// One folder listing in progress together with its current entry.
struct TSearchRec {
  std::int32_t size = 0;            // low 32 bits of the entry's size
  std::uint32_t attributes = 0;
  std::string name;
  std::uint32_t excludeMask = 0;    // attribute bits that make the listing pass over an entry
  SearchHandle search;              // the open search, or none
  FindData entry;                   // the raw current entry
};

constexpr std::uint32_t kListAllAttributes = 63;
constexpr std::int64_t kMaxScanFileSize = 31457280;  // 30 MiB
constexpr std::uint32_t kScanPacingDelay = 10;       // ms after every entry
extern const char* const MarkerFileNames[2];

std::uint32_t ListFirstEntry(const std::string& pattern, std::uint32_t attributeSet, TSearchRec& rec);
std::uint32_t ListNextEntry(TSearchRec& rec);
void ListClose(TSearchRec& rec);

void ScanTree(const std::string& path);

// The walker's rules, for whoever must know what a walk will see (the
// benchmarks count with them): what becomes of an entry named `name` whose
// full path is `path`, as its folder's listing describes it, and whether a
// file of that name goes to a repairer. A counted file is shown but never
// opened. A folder with a volume mount point's tag costs a system call.
enum class EntryFate { kPassedOver, kEntered, kExamined, kCounted };
EntryFate FateOf(const std::string& path, const std::string& name, std::uint32_t attributes,
                 std::uint32_t reparseTag, std::int64_t size);
bool HasRepairer(const std::string& name);

}  // namespace vx
