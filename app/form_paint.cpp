// What Form1 paints itself: the picture and the red-on-shadow title.
#include "app/Unit1.h"
#include "app/control_ids.h"

namespace vx {
namespace {

void PaintLabel(HDC dc, const PaintedLabel& label) {
  RECT box = {label.left, label.top, label.left + label.width, label.top + label.height};
  SetTextColor(dc, label.red ? RGB(255, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(dc, label.caption, -1, &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

}  // namespace

void TForm1::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(handle_, &paint);
  Image1.Draw(dc, Image1Bounds.left, Image1Bounds.top);
  HGDIOBJ oldFont = SelectObject(dc, titleFont_);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  // Label2 first, then Label3 one pixel up and left over it: a red title on
  // a dark shadow.
  PaintLabel(dc, Label2);
  PaintLabel(dc, Label3);
  SetBkMode(dc, oldMode);
  SelectObject(dc, oldFont);
  EndPaint(handle_, &paint);
}

LRESULT TForm1::OnControlColor(HDC dc, HWND control) {
  if (control == Memo1) {
    // Read-only edits default to the grey of a disabled field; the log stays
    // on the window colour so that it reads as a text pane.
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

}  // namespace vx
