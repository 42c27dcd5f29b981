#include "app/program.h"

#include <commctrl.h>

#include "app/Unit1.h"
#include "app/app_window.h"
#include "engine/scan_control.h"
#include "engine/texts.h"
#include "engine/window_ops.h"

namespace vx {

int RunProgram(HINSTANCE instance, int show, Platform* platform) {
  // A card reader or floppy drive without a medium is a removable drive too;
  // walking its root must fail quietly, not stop the scan with Windows's
  // "no disk in the drive" box for every such drive.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  SetPlatform(platform);

  HWND application = CreateApplicationWindow(instance, kApplicationTitle);
  // Outlives the message loop on purpose: a worker still running when the
  // window has closed may call into it until the process ends.
  static TForm1 Form1;
  if (!Form1.Create(instance, application, show)) return 1;
  SetApplicationMainForm(Form1.Handle());
  SetWindow(&Form1);

  MSG message;
  int code = 0;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (got == -1) break;
    if (Form1.PreTranslate(&message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  // No file is half rewritten from here on, and no rewrite begins any more.
  // A worker still walking, or waiting to rewrite, must not run into objects
  // being torn down by the C runtime's exit: end the process, and the
  // worker, here.
  Form1.SettleBeforeExit();
  if (ScanWorkerRunning()) ExitProcess(static_cast<UINT>(code));
  return code;
}

}  // namespace vx
