// Rebuilds an infected executable from the host program the worm carries in
// front of the trailer it appends.
#pragma once
#include <cstddef>
#include <string>

namespace vx {

// Looks at the bytes after the content's last zero byte. When they form a
// sound infection trailer (both markers, a terminator, a size field of decimal
// digits only whose value N is at most the count of bytes before that zero
// byte), sets *start and *length to the N bytes just before the zero byte and
// returns true. Anything else, including content without a zero byte, is false.
bool FindHostProgram(const std::string& content, std::size_t* start, std::size_t* length);

// Restores one file in place, counts it and reports it; leaves it untouched
// and unreported when it carries no sound trailer or cannot be rewritten.
void RestoreInfectedFile(const std::string& path);

}  // namespace vx
