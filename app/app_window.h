// The application window: an owner for Form1 that carries the application
// title (kApplicationTitle) and the icon. It is shown with zero size, so the
// taskbar button and Alt+Tab show the application title while the visible
// window shows its own caption. Minimizing Form1 minimizes this window, which
// hides Form1 with it; restoring it from the taskbar brings Form1 back.
#pragma once
#include <windows.h>

namespace vx {

// Registers a window class of the program: its icon (large and small), the
// arrow cursor and the given background brush (none when null).
bool RegisterProgramClass(HINSTANCE instance, WNDPROC procedure, const wchar_t* className, HBRUSH background);
// Creates and shows the application window titled `title` (UTF-8); nullptr
// on failure.
HWND CreateApplicationWindow(HINSTANCE instance, const char* title);
// Gives the window the program's icon at the sizes its caption (small) and
// Alt+Tab (large) show on a screen of `dpi`, all drawn from the one picture.
void SetIconsForDpi(HWND window, int dpi);
// The window that gets the focus whenever the application window is activated.
void SetApplicationMainForm(HWND form);

}  // namespace vx
