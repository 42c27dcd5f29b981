// Carries the window operations that the scan worker makes over to the
// user-interface thread, in call order and without losing any.
//
// The sequence:
//   worker:  Push(call)  -> the call joins a locked queue; when the window is
//                           idle (no wake-up outstanding, no hold-off running),
//                           one WM_APP message is posted to the form.
//   UI:      WM_APP      -> TakeAll() hands back every queued call, oldest
//                           first, and the form carries them out. Having taken
//                           some, the queue holds further wake-ups back for
//                           kHoldOffMs; when the hold-off ends it wakes the
//                           form again if calls came meanwhile, else the
//                           window is idle once more.
//   UI:      own call    -> the form first drains the queue, then acts, so a
//                           call from the UI thread never overtakes older
//                           calls from the worker.
// A worker that reports every few milliseconds thus meets a window that takes
// its calls in batches at most every kHoldOffMs, however slowly the controls
// redraw, instead of one drain per call that could fall behind for good; the
// first call after a quiet spell still acts at once. Only one wake-up message
// is ever outstanding, so a busy UI thread can never fill its message queue
// (Windows refuses posts past 10,000 messages) and the worker never blocks.
// Should a post fail anyway, the next Push posts again and the form's
// backstop timer drains the queue.
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

  // The least time between two drains while the worker keeps calling.
  static constexpr UINT kHoldOffMs = 50;

  // The window that receives the wake-up message `message`; UI thread. The
  // hold-off ends through a timer of that window, which sends it the same
  // message.
  void SetWakeTarget(HWND window, UINT message);
  // Any thread.
  void Push(WindowCall call);
  // UI thread: every queued call, oldest first; the queue is left empty.
  std::deque<WindowCall> TakeAll();

 private:
  static void CALLBACK HoldOffEnded(HWND window, UINT message, UINT_PTR id, DWORD time);
  UINT_PTR TimerId() const { return reinterpret_cast<UINT_PTR>(this); }

  CRITICAL_SECTION lock_;
  std::deque<WindowCall> calls_;
  bool wakePending_ = false;  // a wake-up is posted, or the hold-off runs
  bool holding_ = false;      // the hold-off timer runs (UI thread only)
  HWND target_ = nullptr;
  UINT message_ = 0;
};

}  // namespace vx
