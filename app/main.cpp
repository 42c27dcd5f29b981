// Start-up: the platform, the application window, Form1, and the message loop.
// Nothing else happens until the user presses a button.
#include <windows.h>

#include <commctrl.h>

#include "app/Unit1.h"
#include "app/app_window.h"
#include "engine/scan_control.h"
#include "engine/window_ops.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  // A card reader or floppy drive without a medium is a removable drive too;
  // walking its root must fail quietly, not stop the scan with Windows's
  // "no disk in the drive" box for every such drive.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  // Both outlive the message loop on purpose: a worker that did not finish in
  // the close wait may still call into them until the process ends.
  static vx::Win32Platform platform;
  vx::SetPlatform(&platform);

  HWND application = vx::CreateApplicationWindow(instance, "清除程序 - Vuxor");
  static vx::TForm1 Form1;
  if (!Form1.Create(instance, application, show)) return 1;
  vx::SetApplicationMainForm(Form1.Handle());
  vx::SetWindow(&Form1);

  MSG message;
  int code = 0;
  for (;;) {
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (got == -1) break;
    if (Form1.PreTranslate(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }

  // A worker that outlasted the close wait must not run into objects being
  // torn down by the C runtime's exit: end the process, and the worker, here.
  if (vx::ScanWorkerRunning()) ExitProcess(static_cast<UINT>(code));
  return code;
}
