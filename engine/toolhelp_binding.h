// TlHelp32: the process-listing functions of kernel32, bound by name at first
// use so that the program starts on systems that lack them.
#pragma once
#include <string>

#include "platform/platform.h"

namespace vx {

bool BindToolHelp();
Handle CreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t processId);  // 0 when unavailable
bool Process32First(Handle snapshot, ProcessEntry32* entry);
bool Process32Next(Handle snapshot, ProcessEntry32* entry);
// The record's image name in UTF-8; false for a name with an unpaired
// surrogate, which has no UTF-8 form.
bool ImageNameOf(const ProcessEntry32& entry, std::string* name);

// Tests only: forgets the binding, for tests that swap the platform underneath
// (the program binds once, on its one platform).
void ResetToolHelpBinding();

}  // namespace vx
