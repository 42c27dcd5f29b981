// UTF-8 <-> UTF-16 conversion for the engine's side of the seam: the engine's
// text is UTF-8 bytes, while the system speaks UTF-16 (process image names,
// path limits). Strict both ways: malformed UTF-8 (overlong forms, encoded
// surrogates, values above U+10FFFF, cut sequences) and unpaired surrogates
// are refused, so that no text ever turns into another one on its way.
#pragma once
#include <cstddef>
#include <string>

namespace vx {

bool Utf8ToUtf16(const std::string& utf8, std::u16string* out);
bool Utf16ToUtf8(const char16_t* text, std::size_t length, std::string* out);
// The UTF-16 units the UTF-8 text takes; npos when it is no valid UTF-8.
std::size_t Utf16Length(const std::string& utf8);

}  // namespace vx
