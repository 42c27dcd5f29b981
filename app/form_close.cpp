// Closing Form1 while the scan worker runs. Ending the process at once could
// cut a file off half-rewritten, which loses the user's data; so the worker is
// asked to stop and given time to finish the file in hand. It stops at its next
// test of the stop flag, after the current entry.
#include "app/Unit1.h"
#include "engine/scan_control.h"

namespace vx {

namespace {
constexpr DWORD kCloseWaitMs = 15000;
}

void TForm1::OnClose() {
  if (closing_) return;  // a second close request while waiting
  closing_ = true;
  if (ScanWorkerRunning()) {
    ShowWindow(handle_, SW_HIDE);
    HWND owner = GetWindow(handle_, GW_OWNER);
    if (owner != nullptr) ShowWindow(owner, SW_HIDE);
    StopWorkerAndWait(kCloseWaitMs);
  }
  DestroyWindow(handle_);
}

void TForm1::StopWorkerAndWait(DWORD timeoutMs) {
  if (!ScanWorkerRunning()) return;
  RequestScanStop();
  // An own copy of the handle: it stays valid whatever the engine does with its own.
  HANDLE worker = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), reinterpret_cast<HANDLE>(ScanWorkerHandle()), GetCurrentProcess(),
                       &worker, SYNCHRONIZE, FALSE, 0)) {
    return;
  }
  // The worker's window calls are carried out on this thread, so messages are
  // pumped while waiting; a WM_QUIT that turns up is put back for the main loop.
  const DWORD start = GetTickCount();
  bool quit = false;
  int quitCode = 0;
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) break;
    DWORD result = MsgWaitForMultipleObjects(1, &worker, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    if (result != WAIT_OBJECT_0 + 1) break;  // the worker ended, or the wait failed or timed out
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = static_cast<int>(message.wParam);
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  CloseHandle(worker);
  DrainQueue();
  if (quit) PostQuitMessage(quitCode);
}

}  // namespace vx
