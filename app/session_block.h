// Holds back the end of the user's session while a file is being rewritten.
// Windows Vista and later show the reason given here in their "programs still
// need to close" screen; the functions are looked up at run time because the
// program also runs on Windows XP, where the window's refusal of
// WM_QUERYENDSESSION alone holds the end back.
#pragma once
#include <windows.h>

namespace vx {

class SessionBlock {
 public:
  // Window thread only (Windows refuses calls from other threads).
  void Hold(HWND window, bool hold);

 private:
  bool held_ = false;
};

}  // namespace vx
