// The in-place rewrite both repairers use. A user's file is either changed to
// the repaired content or left byte for byte as it was; it is never left
// empty or cut short, and no copy of it is made.
#pragma once
#include <string>

namespace vx {

// Replaces the content of the file at path, which must still hold exactly
// `original`, by `replacement`, which must be no longer than `original` (so
// that putting the original back never needs new disk space). Files with the
// read-only, hidden or system attribute, or whose attributes cannot be read,
// are not touched. Returns true only when the new content is written, cut to
// length, flushed and the file closed; on false the file holds `original`
// (unless the disk refuses even the writes that put it back).
bool RewriteFileInPlace(const std::string& path, const std::string& original, const std::string& replacement);

}  // namespace vx
