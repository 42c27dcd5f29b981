#include "app/Unit1.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "app/app_window.h"
#include "app/control_ids.h"
#include "app/form_messages.h"
#include "app/resource_ids.h"
#include "app/wide_text.h"
#include "app/screen_dpi.h"
#include "engine/commands.h"
#include "engine/texts.h"

namespace vx {
namespace {

constexpr UINT_PTR kBackstopTimer = 1;  // drains the queue should a wake-up post fail
constexpr UINT kBackstopMs = 250;

constexpr int kClientWidth = 696;
constexpr int kClientHeight = 313;
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;
// WM_DPICHANGED, which the headers declare only for Windows 8.1 and later.
constexpr UINT kDpiChanged = 0x02E0;

}  // namespace

TForm1::TForm1()
    : Label2{562, 173, 96, 16, L"青岚铃鹊专杀", false},
      Label3{561, 172, 96, 16, L"青岚铃鹊专杀", true},
      Image1Bounds{528, 5, 528 + 161, 5 + 161},
      pattern_(kDefaultPattern) {}

TForm1::~TForm1() {
  if (font_ != nullptr) DeleteObject(font_);
  if (titleFont_ != nullptr) DeleteObject(titleFont_);
}

bool TForm1::Create(HINSTANCE instance, HWND owner, int show) {
  uiThread_ = GetCurrentThreadId();
  dpi_ = SystemDpi();
  Image1.LoadJpegResource(instance, IDR_PICTURE, dpi_);

  HBRUSH buttonFace = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  if (!RegisterProgramClass(instance, WindowProc, VX_FORM_CLASS, buttonFace)) return false;

  // The outer size that gives the 696 x 313 client area (at 96 dpi), centred
  // on the screen; should a part of it then lie under the taskbar (a small
  // screen, a tall or side taskbar), centred on the work area instead.
  const SIZE outer = FrameSize();
  const int width = outer.cx;
  const int height = outer.cy;
  RECT work;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) SetRect(&work, 0, 0, 640, 480);
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  if (left < work.left || top < work.top || left + width > work.right || top + height > work.bottom) {
    left = work.left + ((work.right - work.left) - width) / 2;
    top = work.top + ((work.bottom - work.top) - height) / 2;
  }
  if (left < work.left) left = work.left;
  if (top < work.top) top = work.top;

  handle_ = CreateWindowExW(kFormExStyle, VX_FORM_CLASS, Wide(kCaption).c_str(), kFormStyle, left, top, width,
                            height, owner, nullptr, instance, this);
  if (handle_ == nullptr) return false;
  // The sizing and maximizing entries do nothing on a fixed window; drop them.
  HMENU menu = GetSystemMenu(handle_, FALSE);
  if (menu != nullptr) {
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  }
  queue_.SetWakeTarget(handle_, kWakeMessage);
  StartWatchingRewrites();
  SetTimer(handle_, kBackstopTimer, kBackstopMs, nullptr);
  ShowWindow(handle_, show == SW_SHOWMAXIMIZED ? SW_SHOWNORMAL : show);
  UpdateWindow(handle_);
  return true;
}

SIZE TForm1::FrameSize() const {
  RECT frame = {0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
  AdjustFrameForDpi(&frame, kFormStyle, kFormExStyle, dpi_);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TForm1* form;
  if (message == WM_NCCREATE) {
    form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->handle_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  } else {
    form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return form->OnMessage(message, wParam, lParam);
}

// The switch is the window's table of contents: each message goes to its
// handler, and a handler that leaves a message to Windows says so.
LRESULT TForm1::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls(reinterpret_cast<CREATESTRUCTW*>(lParam)->hInstance);
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_CTLCOLORSTATIC:
      return OnControlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case kWakeMessage:
      DrainQueue();
      return 0;
    case kRewritesChanged:
      OnRewritesChanged();
      return 0;
    case WM_TIMER:
      if (OnTimer(wParam)) return 0;
      break;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SYSCOMMAND:
      if (OnSysCommand(wParam & 0xFFF0)) return 0;
      break;
    case kDpiChanged:  // a stray one from another program may come without its rectangle
      if (lParam != 0) OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_GETMINMAXINFO:
      if (OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam))) return 0;
      break;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_QUERYENDSESSION:
      return OnQueryEndSession();
    case WM_ENDSESSION:
      OnEndSession(wParam != FALSE);
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
  }
  return DefWindowProcW(handle_, message, wParam, lParam);
}

bool TForm1::OnTimer(WPARAM timer) {
  if (timer != kBackstopTimer) return false;
  DrainQueue();
  return true;
}

void TForm1::OnDestroy() {
  KillTimer(handle_, kBackstopTimer);
  queue_.SetWakeTarget(nullptr, 0);
  PostQuitMessage(0);
}

void TForm1::OnCommand(int id, int code) {
  if (closing_) return;  // the program is ending: no new command starts
  switch (id) {
    case IDC_BUTTON3:
      // A click that reaches a disabled button (sent by another program) is no press.
      if (code == BN_CLICKED && IsWindowEnabled(Button3)) Button3Click();
      break;
    case IDC_BUTTON2:
      if (code == BN_CLICKED) Button2Click();
      break;
    case IDC_BUTTON4:
      if (code == BN_CLICKED) Button4Click();
      break;
    case IDC_EDIT2:
      // Each keystroke changes the field; the cleaner takes the text only once
      // the user is done with it.
      if (code == EN_CHANGE) pattern_.Edited(Edit2Text());
      if (code == EN_KILLFOCUS) pattern_.Settle();
      break;
    default:
      break;  // IDOK / IDCANCEL from the dialog keys: the window has no default button
  }
}

// The pattern is compared with the bytes of pages, which are saved in the
// system's code page: the field's text is asked for in that code page, by the
// ANSI call, so that Windows itself converts it exactly as it always has
// (a character the code page cannot hold becomes its default character).
std::string TForm1::Edit2Text() const {
  int length = GetWindowTextLengthA(Edit2);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(Edit2, &text[0], length + 1)));
  return text;
}

// The scan starts with the field's text as it stands, also one that another
// program put there without a keystroke.
void TForm1::Button3Click() {
  pattern_.Edited(Edit2Text());
  pattern_.Settle();
  FullScanCommand();
}
void TForm1::Button2Click() { StopScanCommand(); }
void TForm1::Button4Click() { EmptyLogCommand(); }

// ---- window operations ----

void TForm1::WindowLog(const std::string& line) {
  WindowCall call(WindowCall::kLog);
  call.text = line;
  Dispatch(std::move(call));
}

void TForm1::SetStatusText(int panel, const std::string& text) {
  WindowCall call(WindowCall::kStatusText);
  call.panel = panel;
  call.text = text;
  Dispatch(std::move(call));
}

void TForm1::ShowCurrentFile(const std::string& path) {
  WindowCall call(WindowCall::kCurrentFile);
  call.text = path;
  Dispatch(std::move(call));
}

// Answered on the calling thread without waiting for the window's thread:
// that wait could deadlock while the window waits for a stopping worker, and
// it would fail once the window is gone.
std::string TForm1::ReadPattern() { return pattern_.Settled(); }

void TForm1::EnableFullScan(bool enabled) {
  WindowCall call(WindowCall::kEnableFullScan);
  call.enabled = enabled;
  Dispatch(std::move(call));
}

void TForm1::EmptyLog() {
  WindowCall call(WindowCall::kEmptyLog);
  Dispatch(std::move(call));
}

// On the UI thread a call acts at once, after whatever the worker queued
// before it; from the worker it joins the queue.
void TForm1::Dispatch(WindowCall call) {
  if (OnUiThread()) {
    DrainQueue();
    Perform(call);
  } else {
    queue_.Push(std::move(call));
  }
}

void TForm1::DrainQueue() {
  // The log lines of one drain go into the log as one append: each append
  // makes the edit lay out its text and redraw its scroll bar again, and a
  // worker that logs fast would otherwise keep the UI thread busy far longer
  // than the worker itself. The other calls of the drain change other
  // controls, so only emptying the log has to keep its place among the lines.
  std::deque<WindowCall> calls = queue_.TakeAll();
  if (handle_ == nullptr || !IsWindow(handle_)) return;
  // The status bar repaints itself at every new panel text; a batch of them
  // is painted once, after the last.
  const bool batch = std::count_if(calls.begin(), calls.end(), [](const WindowCall& c) {
                       return c.kind == WindowCall::kStatusText;
                     }) > 1;
  if (batch) SendMessageW(StatusBar1, WM_SETREDRAW, FALSE, 0);
  std::string lines;
  bool pending = false;
  for (const WindowCall& call : calls) {
    if (call.kind == WindowCall::kLog) {
      if (pending) lines += "\r\n";
      lines += call.text;
      pending = true;
      continue;
    }
    if (call.kind != WindowCall::kEmptyLog) {
      Perform(call);
      continue;
    }
    if (pending) AppendLogLines(lines);
    lines.clear();
    pending = false;
    Perform(call);
  }
  if (pending) AppendLogLines(lines);
  if (batch) {
    SendMessageW(StatusBar1, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(StatusBar1, nullptr, FALSE);
  }
}

void TForm1::Perform(const WindowCall& call) {
  if (handle_ == nullptr || !IsWindow(handle_)) return;
  switch (call.kind) {
    case WindowCall::kLog:
      AppendLogLines(call.text);
      break;
    case WindowCall::kStatusText:
      if (call.panel >= 0 && call.panel <= 2)
        SendMessageW(StatusBar1, SB_SETTEXTW, static_cast<WPARAM>(call.panel),
                     reinterpret_cast<LPARAM>(Wide(call.text).c_str()));
      break;
    case WindowCall::kCurrentFile:
      SetWindowTextW(Edit1, Wide(call.text).c_str());
      break;
    case WindowCall::kEnableFullScan:
      // A disabled button that keeps the focus leaves the keyboard dead: hand
      // the focus to the stop button, the natural next step.
      if (!call.enabled && GetFocus() == Button3) SetFocus(Button2);
      if (!call.enabled && lastFocus_ == Button3) lastFocus_ = Button2;
      EnableWindow(Button3, call.enabled ? TRUE : FALSE);
      break;
    case WindowCall::kEmptyLog:
      SetWindowTextW(Memo1, L"");
      break;
  }
}

// `line` may hold several lines separated by "\r\n".
void TForm1::AppendLogLines(const std::string& line) {
  // Positions are asked of the control itself, which counts them in UTF-16
  // units, so they are never compared with a byte length. Positions past the
  // end are clamped to it.
  const WPARAM kPastEnd = 0x7FFFFFFF;
  DWORD selStart = 0, selEnd = 0, end = 0;
  SendMessageW(Memo1, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
  SendMessageW(Memo1, EM_SETSEL, kPastEnd, kPastEnd);
  SendMessageW(Memo1, EM_GETSEL, reinterpret_cast<WPARAM>(&end), 0);
  // A user who has selected text to copy keeps the selection; otherwise the
  // caret, and the view, follow the newest line.
  const bool following = selStart == selEnd;
  const std::wstring text = Wide(end > 0 ? "\r\n" + line : line);
  SendMessageW(Memo1, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  if (following) {
    SendMessageW(Memo1, EM_SCROLLCARET, 0, 0);
  } else {
    SendMessageW(Memo1, EM_SETSEL, selStart, selEnd);
  }
}

bool TForm1::PreTranslate(MSG* message) {
  if (handle_ == nullptr) return false;
  // Enter in Edit2 finishes the edit; the window has no default button to press.
  if (message->message == WM_KEYDOWN && message->wParam == VK_RETURN && message->hwnd == Edit2) {
    pattern_.Settle();
    return true;
  }
  // The read-only log swallows Tab like any multi-line edit; move on instead.
  if (message->message == WM_KEYDOWN && message->wParam == VK_TAB && message->hwnd == Memo1 &&
      GetKeyState(VK_CONTROL) >= 0) {
    HWND next = GetNextDlgTabItem(handle_, Memo1, GetKeyState(VK_SHIFT) < 0);
    if (next != nullptr) SetFocus(next);
    return true;
  }
  return IsDialogMessageW(handle_, message) != FALSE;
}

}  // namespace vx
