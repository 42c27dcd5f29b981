// MiniReg: writes one registry value named by a root key and one path that
// holds both the key and the value name ("key\path\value").
#pragma once
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vx {

std::size_t LastCharPos(char ch, const std::string& s);  // 1-based, 0 when absent
bool WriteRegValue(Handle root, const std::string& valuePath, std::uint32_t type, const void* data,
                   std::uint32_t size);
bool WriteRegDword(Handle root, const std::string& valuePath, std::uint32_t value);

}  // namespace vx
