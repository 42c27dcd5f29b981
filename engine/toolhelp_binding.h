// TlHelp32: the process-listing functions of kernel32, bound by name at first
// use so that the program starts on systems that lack them.
#pragma once
#include "platform/platform.h"

namespace vx {

bool BindToolHelp();
Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId);  // 0 when unavailable
bool Process32First(Handle snapshot, ProcessEntry32* entry);
bool Process32Next(Handle snapshot, ProcessEntry32* entry);

// Tests only: forgets the binding, for tests that swap the platform underneath
// (the program binds once, on its one platform).
void ResetToolHelpBinding();

}  // namespace vx
