#include "util/mini_reg.h"

#include "util/handles.h"

namespace vx {
namespace {

// A 32-bit program on 64-bit Windows has its writes under HKLM\SOFTWARE
// redirected to the WOW6432Node view, which the 64-bit file manager never
// reads. Asking for the 64-bit view there makes the value take effect; on
// 32-bit Windows (no IsWow64Process, or it says no) the access stays as is.
bool RunningUnderWow64() {
  Handle kernel32 = Sys().GetModuleHandleA("kernel32.dll");
  if (kernel32 == kNullHandle) return false;
  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(Sys().GetProcAddress(kernel32, "IsWow64Process"));
  if (isWow64 == nullptr) return false;
  std::int32_t wow64 = 0;
  return isWow64(Sys().GetCurrentProcess(), &wow64) != 0 && wow64 != 0;
}

}  // namespace

std::size_t LastCharPos(char ch, const std::string& s) {
  for (std::size_t i = s.size(); i > 0; --i) {
    if (s[i - 1] == ch) return i;
  }
  return 0;
}

bool WriteRegValue(Handle root, const std::string& valuePath, std::uint32_t type, const void* data,
                   std::uint32_t size) {
  std::size_t i = LastCharPos('\\', valuePath);
  if (i == 0) return false;
  std::string keyPath = valuePath.substr(0, i - 1);
  std::string valueName = valuePath.substr(i);
  std::uint32_t access = kKeyWrite;
  if (RunningUnderWow64()) access |= kKeyWow64_64Key;
  Handle created = kNullHandle;
  std::uint32_t disposition = 0;
  if (Sys().RegCreateKeyExA(root, keyPath.c_str(), kRegOptionNonVolatile, access, &created, &disposition) != 0) {
    return false;
  }
  RegistryKey key(created);
  const char* name = valueName.empty() ? nullptr : valueName.c_str();
  return Sys().RegSetValueExA(key.Get(), name, type, data, size) == 0;
}

bool WriteRegDword(Handle root, const std::string& valuePath, std::uint32_t value) {
  unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return WriteRegValue(root, valuePath, kRegDword, bytes, 4);
}

}  // namespace vx
