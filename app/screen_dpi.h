// The scale of the screen in dots per inch, and the window frame and system
// metrics at a given scale. Windows 10 (1607 and later) knows a scale per
// monitor; its functions for it are looked up when called, so that the
// program still starts on XP to 8.1, where the whole screen has one scale.
#pragma once
#include <windows.h>

namespace vx {

// The scale the system runs at (the primary screen's).
int SystemDpi();
// The scale of the monitor the window is on; the system's where that is unknown.
int WindowDpi(HWND window);
// Grows the client rectangle `frame` to the window's outer rectangle at `dpi`.
void AdjustFrameForDpi(RECT* frame, DWORD style, DWORD exStyle, int dpi);
// GetSystemMetrics(index) as it is at `dpi`.
int SystemMetricForDpi(int index, int dpi);

}  // namespace vx
