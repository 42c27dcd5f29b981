// Loads a whole file into one byte string for the two repairers.
#pragma once
#include <string>

namespace vx {

// The file's content, zero bytes included, or an empty string whenever the
// content cannot be vouched for in full: the file cannot be opened or measured,
// a read or the close fails, the length changes while it is read, the file
// holds more than 1001 blocks of 51,200 bytes, or it is 2 GiB or larger. The
// repairers write their result back over the file, so a partial content must
// never reach them as if it were the whole file. When memory runs out the
// file is closed and std::bad_alloc goes on to the repairer, whose handling of
// this one file ends there.
std::string ReadFileAll(const std::string& path);

}  // namespace vx
