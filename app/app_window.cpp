#include "app/app_window.h"

#include "app/control_ids.h"
#include "app/resource_ids.h"
#include "app/wide_text.h"
#include "app/screen_dpi.h"

namespace vx {
namespace {

HWND mainForm = nullptr;

void ActivateMainForm() {
  if (mainForm != nullptr && IsWindowVisible(mainForm) && IsWindowEnabled(mainForm)) SetActiveWindow(mainForm);
}

LRESULT CALLBACK ApplicationWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Activation from the taskbar or Alt+Tab lands here; the user means Form1.
      if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(window)) {
        ActivateMainForm();
        return 0;
      }
      break;
    case WM_SIZE:
      // Windows hides owned windows along with a minimized owner, Wine does
      // not; hiding and showing Form1 here works the same on both.
      if (mainForm != nullptr && wParam == SIZE_MINIMIZED) {
        ShowWindow(mainForm, SW_HIDE);
      } else if (mainForm != nullptr && wParam == SIZE_RESTORED && IsWindowVisible(window)) {
        ShowWindow(mainForm, SW_SHOW);
        ActivateMainForm();
      }
      break;
    case WM_CLOSE:
      // "Close window" on the taskbar button: Form1 decides how to end.
      if (mainForm != nullptr) PostMessageW(mainForm, WM_CLOSE, 0, 0);
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool RegisterProgramClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* className, HBRUSH background) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  // The sizes of the system's scale: 32 and 16 at 96 dpi, 48 and 24 at 144.
  windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VUXOR), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                    LR_DEFAULTCOLOR));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VUXOR), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON),
                                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = className;
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateApplicationWindow(HINSTANCE instance, const char* title) {
  if (!RegisterProgramClass(instance, ApplicationWindowProc, VX_APP_CLASS, nullptr)) return nullptr;

  RECT work;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) SetRect(&work, 0, 0, 640, 480);
  HWND window = CreateWindowExW(0, VX_APP_CLASS, Wide(title).c_str(),
                                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                (work.left + work.right) / 2, (work.top + work.bottom) / 2, 0, 0,
                                nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  // The system menu of the taskbar button offers restore, minimize and close.
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu != nullptr) {
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MOVE, MF_BYCOMMAND);
  }
  ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

void SetIconsForDpi(HWND window, int dpi) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const struct { WPARAM kind; int width, height; int classIcon; } icons[] = {
      {ICON_SMALL, SM_CXSMICON, SM_CYSMICON, GCLP_HICONSM}, {ICON_BIG, SM_CXICON, SM_CYICON, GCLP_HICON}};
  for (const auto& icon : icons) {
    HANDLE loaded = LoadImageW(instance, MAKEINTRESOURCEW(IDI_VUXOR), IMAGE_ICON,
                               SystemMetricForDpi(icon.width, dpi), SystemMetricForDpi(icon.height, dpi),
                               LR_DEFAULTCOLOR);
    if (loaded == nullptr) continue;
    LRESULT old = SendMessageW(window, WM_SETICON, icon.kind, reinterpret_cast<LPARAM>(loaded));
    // The class's icon stays for the other windows of the class.
    if (old != 0 && static_cast<ULONG_PTR>(old) != GetClassLongPtrW(window, icon.classIcon))
      DestroyIcon(reinterpret_cast<HICON>(old));
  }
}

void SetApplicationMainForm(HWND form) { mainForm = form; }

}  // namespace vx
