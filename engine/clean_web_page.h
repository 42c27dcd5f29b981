// Cuts the injected hidden frame out of a web page file.
#pragma once
#include <string>

namespace vx {

// Removes the first byte-exact occurrence of the pattern field's text from the
// file and logs the page; leaves the file untouched and unreported when the
// pattern is empty or absent or the page cannot be rewritten.
void CleanWebPage(const std::string& path);

}  // namespace vx
