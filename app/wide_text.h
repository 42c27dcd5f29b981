// The one crossing of the window's edge: the engine's words and the paths it
// logs are UTF-8, the window's controls hold UTF-16.
#pragma once
#include <string>

namespace vx {

std::wstring Wide(const std::string& utf8);

}  // namespace vx
