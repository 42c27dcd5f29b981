// The end of the program while the scan worker runs: the window is closed, or
// the user's session ends. Ending the process at once could cut a file off
// half rewritten, which loses the user's data. So the walk is asked to stop
// and given a bounded time to finish the entry in hand; after that no new
// rewrite begins, and one under way runs to its end however long it takes.
// The window stays hidden meanwhile and goes on answering messages.
//
// While a rewrite is under way the user's session may not end: the form
// refuses WM_QUERYENDSESSION and gives Windows a reason to show, from the
// moment the rewrite begins to the moment it ends.
#include "app/Unit1.h"
#include "app/form_messages.h"
#include "engine/rewrite_guard.h"
#include "engine/scan_control.h"

namespace vx {

namespace {

constexpr DWORD kWalkWaitMs = 15000;

HWND rewriteWatcher = nullptr;  // the form, once created
bool quitWhileWaiting = false;
int quitCode = 0;

// Runs on the rewriting thread: the form looks at the count on its own thread.
void PostRewritesChanged() {
  HWND target = rewriteWatcher;
  if (target != nullptr) PostMessageW(target, kRewritesChanged, 0, 0);
}

// The worker's window calls are carried out on this thread, so messages are
// pumped while waiting; a WM_QUIT that turns up is kept for the main loop.
bool WaitPumping(Handle worker, std::uint32_t milliseconds) {
  HANDLE thread = reinterpret_cast<HANDLE>(worker);
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) return true;
    if (result != WAIT_OBJECT_0 + 1) return false;  // the wait failed or timed out
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quitWhileWaiting = true;
        quitCode = static_cast<int>(message.wParam);
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

}  // namespace

void TForm1::OnRewritesChanged() { sessionBlock_.Hold(handle_, RewritesUnderWay() > 0); }

void TForm1::StartWatchingRewrites() {
  rewriteWatcher = handle_;
  SetRewriteListener(PostRewritesChanged);
}

// The session may end only when no file is half rewritten; the block reason
// is set here too, should the message about the rewrite still be on its way.
BOOL TForm1::OnQueryEndSession() {
  const bool rewriting = RewritesUnderWay() > 0;
  sessionBlock_.Hold(handle_, rewriting);
  return rewriting ? FALSE : TRUE;
}

// Windows ends the process once this returns.
void TForm1::OnEndSession(bool ending) {
  if (ending) EndScanForExit();
}

void TForm1::OnClose() {
  if (closing_) return;  // a second close request while waiting
  EndScanForExit();
  DestroyWindow(handle_);
}

// A WM_QUIT that another program posts ends the message loop without a
// close; the program then ends only after the same settling. After a close
// it has settled already.
void TForm1::SettleBeforeExit() {
  if (!closing_) EndScanForExit();
}

void TForm1::EndScanForExit() {
  closing_ = true;  // from now on the buttons do nothing
  if (ScanWorkerRunning()) {
    ShowWindow(handle_, SW_HIDE);
    HWND owner = GetWindow(handle_, GW_OWNER);
    if (owner != nullptr) ShowWindow(owner, SW_HIDE);
  }
  SettleScanForExit(kWalkWaitMs, WaitPumping);
  DrainQueue();
  sessionBlock_.Hold(handle_, false);
  if (quitWhileWaiting) PostQuitMessage(quitCode);
  quitWhileWaiting = false;
}

}  // namespace vx
