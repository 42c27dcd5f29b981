// The form's own window messages, posted to it from other threads.
#pragma once
#include <windows.h>

namespace vx {

constexpr UINT kWakeMessage = WM_APP;          // the worker queued window calls
constexpr UINT kRewritesChanged = WM_APP + 1;  // a rewrite began or ended

}  // namespace vx
