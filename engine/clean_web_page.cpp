#include "engine/clean_web_page.h"

#include "engine/file_rewrite.h"
#include "engine/read_file_all.h"
#include "engine/texts.h"
#include "engine/window_ops.h"

namespace vx {

void CleanWebPage(const std::string& path) {
  try {
    std::string content = ReadFileAll(path);
    // One reading per file: an edit of the field meanwhile applies from the next file.
    std::string pattern = ReadPattern();
    if (pattern.empty()) return;
    std::size_t at = content.find(pattern);
    if (at == std::string::npos) return;
    // The first copy only; the halves are not searched again.
    if (!RepairFileInPlace(path, content, ContentView::Without(content, at, pattern.size()))) return;
    WindowLog(path + kPageCleanedLog);
  } catch (...) {  // out of memory or a window failure: the walk goes on
  }
}

}  // namespace vx
