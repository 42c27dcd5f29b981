// What Form1 paints itself: the picture and the red-on-shadow title.
#include "app/Unit1.h"
#include "app/control_ids.h"

namespace vx {
namespace {

// The label's box at `dpi`, placed from the scaled place of `anchor`, so that
// its offset from the anchor scales as one length (a one-pixel shadow is two
// pixels at 144 dpi, not one or two by the rounding of two places).
RECT ScaledBox(const PaintedLabel& label, const PaintedLabel& anchor, int dpi) {
  const int left = ScaleForDpi(anchor.left, dpi) + ScaleForDpi(label.left - anchor.left, dpi);
  const int top = ScaleForDpi(anchor.top, dpi) + ScaleForDpi(label.top - anchor.top, dpi);
  return {left, top, left + ScaleForDpi(label.width, dpi), top + ScaleForDpi(label.height, dpi)};
}

void PaintLabel(HDC dc, const PaintedLabel& label, RECT box) {
  SetTextColor(dc, label.red ? RGB(255, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
  DrawTextW(dc, label.caption, -1, &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
}

}  // namespace

void TForm1::OnPaint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(handle_, &paint);
  // The picture was decoded at this scale; it is drawn as it came.
  Image1.Draw(dc, Scaled(Image1Bounds.left), Scaled(Image1Bounds.top));
  HGDIOBJ oldFont = SelectObject(dc, titleFont_);
  int oldMode = SetBkMode(dc, TRANSPARENT);
  // Label2 first, then Label3 one pixel up and left over it: a red title on
  // a dark shadow.
  PaintLabel(dc, Label2, ScaledBox(Label2, Label3, dpi_));
  PaintLabel(dc, Label3, ScaledBox(Label3, Label3, dpi_));
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
