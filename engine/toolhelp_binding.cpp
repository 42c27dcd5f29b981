#include "engine/toolhelp_binding.h"

#include "util/utf_convert.h"

namespace vx {
namespace {

// Looked up in this order; the program calls three of them, the wide listing
// among them, so that an image name outside the ANSI code page reads right.
const char* const kToolHelpNames[16] = {
    "CreateToolhelp32Snapshot", "Heap32ListFirst", "Heap32ListNext", "Heap32First",
    "Heap32Next", "Toolhelp32ReadProcessMemory", "Process32First", "Process32Next",
    "Process32FirstW", "Process32NextW", "Thread32First", "Thread32Next",
    "Module32First", "Module32Next", "Module32FirstW", "Module32NextW",
};
enum { kSnapshotIndex = 0, kFirstIndex = 8, kNextIndex = 9 };

Handle kernel32 = kNullHandle;
FarProc addresses[16] = {};

}  // namespace

bool BindToolHelp() {
  if (kernel32 == kNullHandle) {
    kernel32 = Sys().GetModuleHandleA("kernel32.dll");
    if (kernel32 != kNullHandle) {
      for (int i = 0; i < 16; ++i) addresses[i] = Sys().GetProcAddress(kernel32, kToolHelpNames[i]);
    }
  }
  return kernel32 != kNullHandle && addresses[kSnapshotIndex] != nullptr;
}

Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId) {
  if (!BindToolHelp()) return 0;
  auto fn = reinterpret_cast<CreateToolhelp32SnapshotFn>(addresses[kSnapshotIndex]);
  return fn(flags, processId);
}

bool Process32First(Handle snapshot, ProcessEntry32* entry) {
  if (!BindToolHelp() || addresses[kFirstIndex] == nullptr) return false;
  return reinterpret_cast<Process32Fn>(addresses[kFirstIndex])(snapshot, entry) != 0;
}

bool Process32Next(Handle snapshot, ProcessEntry32* entry) {
  if (!BindToolHelp() || addresses[kNextIndex] == nullptr) return false;
  return reinterpret_cast<Process32Fn>(addresses[kNextIndex])(snapshot, entry) != 0;
}

bool ImageNameOf(const ProcessEntry32& entry, std::string* name) {
  std::size_t length = 0;
  while (length < kMaxPath && entry.szExeFile[length] != 0) ++length;
  return Utf16ToUtf8(entry.szExeFile, length, name);
}

void ResetToolHelpBinding() {
  kernel32 = kNullHandle;
  for (FarProc& a : addresses) a = nullptr;
}

}  // namespace vx
