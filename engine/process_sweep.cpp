#include "engine/process_sweep.h"

#include <cstring>
#include <string>

#include "util/handles.h"
#include "engine/texts.h"
#include "engine/toolhelp_binding.h"
#include "engine/window_ops.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

const char* const TrojanImageNames[6] = {
    "qadrelv.exe", "qardelv.exe", "mtzbr48.exe", "mkzbr48.exe", "qaddrelv.exe", "qadr0lv.exe",
};

// Only a..z are folded: the names are ASCII, and folding nothing else keeps a
// character outside ASCII from ever matching an ASCII name.
bool IsTrojanName(const std::string& upperName, const char* row) {
  return UpperCaseAscii(row) == upperName;
}

// The worm keeps its program in the system folder's "drivers" subfolder. When
// the system names no folder, nothing is deleted: a relative path would point
// into whatever folder the program was started from.
void DeleteTrojanFile(const std::string& name) {
  std::string system = GetSystemFolderPath();
  if (system.empty()) return;
  std::string path = system + "drivers\\" + name;
  if (!FitsPath(path)) return;
  if (Sys().DeleteFileA(path.c_str())) WindowLog(name + kDeletedLog);
}

void HandleProcess(const ProcessEntry32& entry) {
  // An image name with an unpaired surrogate has no UTF-8 form, and no
  // worm's name has one: that process is passed over.
  std::string name;
  if (!ImageNameOf(entry, &name)) return;
  WindowLog(kProcessListedLog + name);
  std::string upperName = UpperCaseAscii(name);
  for (const char* row : TrojanImageNames) {
    if (!IsTrojanName(upperName, row)) continue;
    // Only a process really ended is reported as closed; its program file is
    // tried either way, since it may lie there without running from there.
    if (KillProcessById(entry.th32ProcessID)) WindowLog(kTrojanEndedLog + name);
    DeleteTrojanFile(name);
  }
}

}  // namespace

bool KillProcessById(std::uint32_t processId) {
  ObjectHandle process(Sys().OpenProcess(kProcessAllAccessClassic, true, processId));
  return process.IsOpen() && Sys().TerminateProcess(process.Get(), 0);
}

bool KillTrojanProcesses() {
  // No snapshot comes back as 0 from the binding or as the invalid value from
  // the system; the listing then ends at once and the owner closes neither.
  ObjectHandle snapshot(CreateToolhelp32Snapshot(kTh32csSnapProcess, 0));
  ProcessEntry32 entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  for (bool more = Process32First(snapshot.Get(), &entry); more; more = Process32Next(snapshot.Get(), &entry)) {
    HandleProcess(entry);
  }
  return true;
}

}  // namespace vx
