// The program from start-up to its end, over a given platform: the real one
// for Vuxor.exe, a disk that stalls on cue for the end-to-end tests.
#pragma once
#include <windows.h>

#include "platform/platform.h"

namespace vx {

// Shows the window and runs the message loop until the window closes; the
// platform must live until the process ends. Returns the exit code.
int RunProgram(HINSTANCE instance, int show, Platform* platform);

}  // namespace vx
