// Carries the window operations that the scan worker makes over to the
// user-interface thread, in call order and without losing any.
//
// The sequence:
//   worker:  Push(call)  -> the call joins a locked queue; when no wake-up is
//                           outstanding, one WM_APP message is posted to the form.
//   UI:      WM_APP      -> TakeAll() hands back every queued call, oldest
//                           first, and the form carries them out.
//   UI:      own call    -> the form first drains the queue, then acts, so a
//                           call from the UI thread never overtakes older
//                           calls from the worker.
// Only one wake-up message is ever outstanding, so a busy UI thread can never
// fill its message queue (Windows refuses posts past 10,000 messages) and the
// worker never blocks. Should a post fail anyway, the next Push posts again and
// the form's backstop timer drains the queue.
#pragma once
#include <windows.h>

#include <deque>
#include <string>

namespace vx {

struct WindowCall {
  enum Kind { kLog, kStatusText, kCurrentFile, kEnableFullScan, kEmptyLog };
  explicit WindowCall(Kind k) : kind(k) {}
  Kind kind;
  int panel = 0;        // kStatusText
  bool enabled = false; // kEnableFullScan
  std::string text;     // kLog, kStatusText, kCurrentFile
};

class WindowQueue {
 public:
  WindowQueue();
  ~WindowQueue();
  WindowQueue(const WindowQueue&) = delete;
  WindowQueue& operator=(const WindowQueue&) = delete;

  // The window that receives the wake-up message `message`.
  void SetWakeTarget(HWND window, UINT message);
  // Any thread.
  void Push(WindowCall call);
  // UI thread: every queued call, oldest first; the queue is left empty.
  std::deque<WindowCall> TakeAll();

 private:
  CRITICAL_SECTION lock_;
  std::deque<WindowCall> calls_;
  bool wakePending_ = false;
  HWND target_ = nullptr;
  UINT message_ = 0;
};

}  // namespace vx
