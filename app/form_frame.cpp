// The form keeps one size and hands the keyboard focus back where it was, as
// a dialog does.
#include "app/Unit1.h"

namespace vx {

// Keep the keyboard focus on the control that had it when the form was last
// active.
void TForm1::OnActivate(bool active) {
  if (!active) {
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(handle_, focus)) lastFocus_ = focus;
    return;
  }
  HWND target = lastFocus_ != nullptr && IsWindowEnabled(lastFocus_) ? lastFocus_ : Memo1;
  SetFocus(target);
}

bool TForm1::OnSysCommand(WPARAM command) {
  // Minimizing minimizes the application window, which hides this owned
  // window and keeps the taskbar button.
  HWND owner = GetWindow(handle_, GW_OWNER);
  if (command == SC_MINIMIZE && owner != nullptr) {
    ShowWindow(owner, SW_MINIMIZE);
    return true;
  }
  // Fixed size: a maximize or size command from anywhere does nothing.
  return command == SC_MAXIMIZE || command == SC_SIZE;
}

// Holds the size even against ShowWindow(SW_MAXIMIZE) from outside; the size
// is the one of the current scale, so that a new scale can change it.
bool TForm1::OnGetMinMaxInfo(MINMAXINFO* limits) {
  RECT frame;
  if (handle_ == nullptr || !GetWindowRect(handle_, &frame)) return false;
  const SIZE outer = FrameSize();
  const POINT size = {outer.cx, outer.cy};
  limits->ptMaxSize = size;
  limits->ptMaxPosition = {frame.left, frame.top};
  limits->ptMinTrackSize = size;
  limits->ptMaxTrackSize = size;
  return true;
}

}  // namespace vx
