// Form1's controls, with the positions, sizes, texts and tab order of the
// window's layout. The places are 96-dpi pixels; on a screen of another scale
// each of them, and the fonts, is scaled to it.
#include "app/Unit1.h"

#include <commctrl.h>

#include "app/app_window.h"
#include "app/control_ids.h"
#include "app/notice.h"
#include "app/wide_text.h"
#include "engine/texts.h"

namespace vx {
namespace {

HFONT MakeFont(int pixelHeight) {
  return CreateFontW(-pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体");
}

HWND MakeControl(HWND form, HINSTANCE instance, DWORD exStyle, const wchar_t* windowClass, const wchar_t* text,
                 DWORD style, int left, int top, int width, int height, int id, HFONT font) {
  HWND control = CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, left, top, width,
                                 height, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                 nullptr);
  if (control != nullptr) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

// The control's place in its parent's client coordinates.
RECT PlaceOf(HWND control) {
  RECT place = {};
  GetWindowRect(control, &place);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

}  // namespace

void TForm1::CreateControls(HINSTANCE instance) {
  font_ = MakeFont(Scaled(12));
  titleFont_ = MakeFont(Scaled(16));
  HWND form = handle_;

  // Created in the order of the layout; Image1, Label2 and Label3 are painted.
  Label1 = MakeControl(form, instance, 0, L"STATIC", L"清除网页中的代码:", SS_LEFT | SS_NOPREFIX, 8, 272, 102, 12,
                       IDC_LABEL1, font_);
  Memo1 = MakeControl(form, instance, WS_EX_CLIENTEDGE, L"EDIT", L"",
                      WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL, 0, 21,
                      521, 236, IDC_MEMO1, font_);
  Button2 = MakeControl(form, instance, 0, L"BUTTON", L"停止杀毒", WS_TABSTOP | BS_PUSHBUTTON, 615, 199, 75, 25,
                        IDC_BUTTON2, font_);
  Button3 = MakeControl(form, instance, 0, L"BUTTON", L"全盘杀毒", WS_TABSTOP | BS_PUSHBUTTON, 536, 199, 75, 25,
                        IDC_BUTTON3, font_);
  // Placed by the form, not by the bar itself: it would take its own height
  // from the font and sit a few pixels higher than the layout wants.
  StatusBar1 = MakeControl(form, instance, 0, STATUSCLASSNAMEW, L"", CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 294, 696, 19,
                           IDC_STATUSBAR1, font_);
  Button4 = MakeControl(form, instance, 0, L"BUTTON", L"清空日志", WS_TABSTOP | BS_PUSHBUTTON, 536, 231, 153, 25,
                        IDC_BUTTON4, font_);
  // Flat: a one-pixel border instead of the sunken 3-D edge.
  Edit1 = MakeControl(form, instance, 0, L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0, 0, 521, 18,
                      IDC_EDIT1, font_);
  Edit2 = MakeControl(form, instance, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, 112, 267, 569,
                      20, IDC_EDIT2, font_);

  // The log is unbounded: past the default 32,767 bytes an EDIT silently
  // drops every further append. 0 lifts the limit to the maximum.
  SendMessageW(Memo1, EM_SETLIMITTEXT, 0, 0);
  SetWindowTextW(Memo1, Wide(NoticeText()).c_str());
  SendMessageW(Edit2, EM_SETLIMITTEXT, 0, 0);
  SetWindowTextW(Edit2, Wide(kDefaultPattern).c_str());

  SetPanelEdges();
  SendMessageW(StatusBar1, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(kPanelIdle).c_str()));
  SendMessageW(StatusBar1, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Wide(kPanelScannedPrefix).c_str()));
  SendMessageW(StatusBar1, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(Wide(kPanelCleanedPrefix).c_str()));

  // Tab order is z-order: Memo1, Button3, Button2, Button4, Edit1, Edit2.
  // Label1 sits just before Edit2 so that screen readers name the field by it.
  // Each control is made at its 96-dpi place, which is kept for every layout.
  HWND order[] = {Memo1, Button3, Button2, Button4, Edit1, Label1, Edit2, StatusBar1};
  HWND previous = HWND_TOP;
  for (HWND control : order) {
    SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    places_.push_back({control, PlaceOf(control)});
    previous = control;
  }
  LayOut();
  lastFocus_ = Memo1;
}

// Panel widths 100, 200 and 50; the last panel runs on to the right edge
// (part edge -1) so that "已清除文件数:" and its count stay readable.
void TForm1::SetPanelEdges() {
  int edges[3] = {Scaled(100), Scaled(100 + 200), -1};
  SendMessageW(StatusBar1, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
}

// Every control at its place scaled to dpi_; at 96 dpi each stays where it
// was made. A moved control paints itself anew: what it showed before was
// drawn for the old size.
void TForm1::LayOut() {
  for (const ControlPlace& place : places_) {
    const RECT& r = place.at96;
    SetWindowPos(place.control, nullptr, Scaled(r.left), Scaled(r.top), Scaled(r.right - r.left),
                 Scaled(r.bottom - r.top), SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  }
}

// Both fonts made again at dpi_ and handed to every control; the old ones go
// once no control holds them.
void TForm1::ReplaceFonts() {
  HFONT oldFont = font_;
  HFONT oldTitleFont = titleFont_;
  font_ = MakeFont(Scaled(12));
  titleFont_ = MakeFont(Scaled(16));
  for (const ControlPlace& place : places_)
    SendMessageW(place.control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (oldFont != nullptr) DeleteObject(oldFont);
  if (oldTitleFont != nullptr) DeleteObject(oldTitleFont);
}

// The window moved to a monitor of another scale, or the scale changed: the
// window takes the size Windows suggests and lays itself out at the new dpi.
// The log keeps its first visible line, the focus stays where it is.
void TForm1::OnDpiChanged(int dpi, const RECT& suggested) {
  if (dpi <= 0 || dpi == dpi_) return;
  HWND focus = GetFocus();
  const LRESULT firstLine = SendMessageW(Memo1, EM_GETFIRSTVISIBLELINE, 0, 0);
  dpi_ = dpi;  // first: the frame's size limits follow it
  Image1.Rescale(dpi_);
  SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
  ReplaceFonts();
  SetPanelEdges();
  const LRESULT nowFirst = SendMessageW(Memo1, EM_GETFIRSTVISIBLELINE, 0, 0);
  if (nowFirst != firstLine) SendMessageW(Memo1, EM_LINESCROLL, 0, firstLine - nowFirst);
  if (focus != nullptr && GetFocus() != focus) SetFocus(focus);
  SetIconsForDpi(handle_, dpi_);
  InvalidateRect(handle_, nullptr, TRUE);
}

}  // namespace vx
