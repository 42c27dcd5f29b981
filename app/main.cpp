// Start-up: the program over the real operating system. Nothing happens until
// the user presses a button.
#include <windows.h>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  static vx::Win32Platform platform;  // outlives the message loop, as a late worker may use it
  return vx::RunProgram(instance, show, &platform);
}
