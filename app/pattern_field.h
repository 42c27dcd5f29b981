// Edit2 as the web page cleaner sees it. The user may change the pattern while
// a scan runs, and a dozen pages pass between two keystrokes: a page must never
// be cut with a pattern half typed ("<", "<i", "<if" ...), which would cut the
// start of a harmless tag out of it. The cleaner therefore gets the text the
// field held when the user last finished an edit (the field lost the focus, or
// Enter was pressed in it) or when a scan started, whichever came last.
//
// Plain C++ without <windows.h>, so the tests use the very same field.
#pragma once
#include <memory>
#include <string>

namespace vx {

class PatternField {
 public:
  explicit PatternField(const std::string& text)
      : typed_(text), settled_(std::make_shared<const std::string>(text)) {}

  // Window thread: the field's text now, after each keystroke or paste.
  void Edited(const std::string& text) { typed_ = text; }
  // Window thread: an edit is finished, or a scan starts; the cleaner uses the
  // text from now on.
  void Settle() { std::atomic_store(&settled_, std::make_shared<const std::string>(typed_)); }
  // Any thread: the pattern the cleaner cuts out.
  std::string Settled() const { return *std::atomic_load(&settled_); }

 private:
  std::string typed_;                             // window thread only
  std::shared_ptr<const std::string> settled_;  // replaced whole, read from the worker
};

}  // namespace vx
