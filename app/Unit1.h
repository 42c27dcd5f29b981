// The main window Form1: the log, the current-file field, the web-page pattern,
// the three command buttons and the status bar, all standard Windows controls
// so that screen readers and test automation see them. The title labels and
// the picture are painted by the form.
//
// The engine reaches the window only through the six window operations. Calls
// made on the user-interface thread act at once; calls from the scan worker go
// through a WindowQueue and act on the user-interface thread in call order.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "app/pattern_field.h"
#include "app/picture.h"
#include "app/session_block.h"
#include "app/window_queue.h"
#include "engine/window_ops.h"
#include "util/dpi_scale.h"

namespace vx {

// A caption the form paints itself.
struct PaintedLabel {
  int left, top, width, height;
  const wchar_t* caption;
  bool red;  // red text, else the window-text colour
};

class TForm1 : public WindowOps {
 public:
  TForm1();
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates the window and its controls, owned by `owner`, centred on the
  // screen (on the work area when the taskbar would cover a part) and shown.
  // False when Windows refuses to create it.
  bool Create(HINSTANCE instance, HWND owner, int show);
  HWND Handle() const { return handle_; }

  // The three commands.
  void Button3Click();  // "全盘杀毒"
  void Button2Click();  // "停止杀毒"
  void Button4Click();  // "清空日志"

  // Window operations: callable from any thread.
  void WindowLog(const std::string& line) override;
  void SetStatusText(int panel, const std::string& text) override;
  void ShowCurrentFile(const std::string& path) override;
  std::string ReadPattern() override;
  void EnableFullScan(bool enabled) override;
  void EmptyLog() override;

  // The message loop's keyboard handling: tab order and button keys. True when
  // the message was used up.
  bool PreTranslate(MSG* message);
  // After the message loop, whatever ended it: the same settling as closing.
  void SettleBeforeExit();

  // Controls, named as in the window's layout.
  HWND Memo1 = nullptr;
  HWND Edit1 = nullptr;
  HWND Edit2 = nullptr;
  HWND Button2 = nullptr;
  HWND Button3 = nullptr;
  HWND Button4 = nullptr;
  HWND StatusBar1 = nullptr;
  HWND Label1 = nullptr;
  PaintedLabel Label2;
  PaintedLabel Label3;
  Picture Image1;
  RECT Image1Bounds;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // form_layout.cpp: the layout at 96 dpi, scaled to the window's dpi_
  void CreateControls(HINSTANCE instance);
  void LayOut();
  void SetPanelEdges();
  void ReplaceFonts();
  void OnDpiChanged(int dpi, const RECT& suggested);
  int Scaled(int length) const { return ScaleForDpi(length, dpi_); }
  SIZE FrameSize() const;  // the outer size that gives the client area at dpi_
  // form_paint.cpp
  void OnPaint();
  LRESULT OnControlColor(HDC dc, HWND control);
  // form_frame.cpp: the fixed frame and the keyboard focus
  void OnActivate(bool active);
  bool OnSysCommand(WPARAM command);  // true when the command was used up
  bool OnGetMinMaxInfo(MINMAXINFO* limits);
  // form_close.cpp
  void OnClose();
  void EndScanForExit();
  BOOL OnQueryEndSession();
  void OnEndSession(bool ending);
  void StartWatchingRewrites();
  void OnRewritesChanged();

  bool OnTimer(WPARAM timer);  // true when the timer was the form's own
  void OnDestroy();
  void OnCommand(int id, int code);
  std::string Edit2Text() const;
  bool OnUiThread() const { return GetCurrentThreadId() == uiThread_; }
  void Dispatch(WindowCall call);        // any thread
  void Perform(const WindowCall& call);  // UI thread
  void DrainQueue();                     // UI thread
  void AppendLogLines(const std::string& line);

  HWND handle_ = nullptr;
  DWORD uiThread_ = 0;
  int dpi_ = kLayoutDpi;
  // Each control with its place at 96 dpi, in the form's client coordinates.
  struct ControlPlace {
    HWND control;
    RECT at96;
  };
  std::vector<ControlPlace> places_;
  HFONT font_ = nullptr;
  HFONT titleFont_ = nullptr;
  HWND lastFocus_ = nullptr;
  bool closing_ = false;
  WindowQueue queue_;
  PatternField pattern_;
  SessionBlock sessionBlock_;
};

}  // namespace vx
