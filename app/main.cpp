// Start-up: the program over the real operating system. Nothing happens until
// the user presses a button.
#include <windows.h>

#include "app/library_search.h"
#include "app/program.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  vx::NarrowLibrarySearch();  // before anything loads a library
  // Made after the search is narrowed: it binds winmm from the system folder.
  static vx::Win32Platform platform;  // outlives the message loop, as a late worker may use it
  return vx::RunProgram(instance, show, &platform);
}
