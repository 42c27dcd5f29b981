// Processes, kernel32's exported names, the ToolHelp snapshot functions it
// hands out, and threads of the in-memory machine.
#include <cstring>

#include "testbed/memory_state.h"
#include "util/utf_convert.h"

namespace vx {

using mem::Guard;
using mem::Object;

namespace {

constexpr Handle kKernel32Module = 0x7C800000u;  // where a 32-bit system maps kernel32
constexpr Handle kProgramModule = 0x00400000u;   // the program's own image

template <typename T>
T Fail(std::uint32_t error, T result) {
  mem::SetThreadError(error);
  return result;
}

MemoryPlatform* CurrentMachine() { return dynamic_cast<MemoryPlatform*>(&Sys()); }

// The functions GetProcAddress hands out. They act on the platform in use,
// as kernel32's code acts on the process it is loaded in.
Handle VX_WINAPI BoundCreateToolhelp32Snapshot(std::uint32_t flags, std::uint32_t pid) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->ToolhelpSnapshot(flags, pid) : Fail(kErrorInvalidHandle, kInvalidHandle);
}

std::int32_t VX_WINAPI BoundProcess32First(Handle snapshot, ProcessEntry32* entry) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->ToolhelpProcess32(snapshot, entry, true) : Fail(kErrorInvalidHandle, 0);
}

std::int32_t VX_WINAPI BoundProcess32Next(Handle snapshot, ProcessEntry32* entry) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->ToolhelpProcess32(snapshot, entry, false) : Fail(kErrorInvalidHandle, 0);
}

std::int32_t VX_WINAPI BoundIsWow64Process(Handle process, std::int32_t* wow64) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->QueryWow64Process(process, wow64) : Fail(kErrorInvalidHandle, 0);
}

std::int32_t VX_WINAPI BoundWow64Disable(void** oldValue) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->DisableFsRedirection(oldValue) : Fail(kErrorInvalidHandle, 0);
}

std::int32_t VX_WINAPI BoundWow64Revert(void* oldValue) {
  MemoryPlatform* machine = CurrentMachine();
  return machine ? machine->RevertFsRedirection(oldValue) : Fail(kErrorInvalidHandle, 0);
}

// The other ToolHelp exports exist so that a lookup of them succeeds; nothing calls them.
void VX_WINAPI UnusedToolhelpExport() {}

struct Export {
  const char* name;
  FarProc function;
};

const Export kKernel32Exports[] = {
    {"CreateToolhelp32Snapshot", reinterpret_cast<FarProc>(&BoundCreateToolhelp32Snapshot)},
    {"Process32FirstW", reinterpret_cast<FarProc>(&BoundProcess32First)},
    {"Process32NextW", reinterpret_cast<FarProc>(&BoundProcess32Next)},
    {"IsWow64Process", reinterpret_cast<FarProc>(&BoundIsWow64Process)},
    {"Wow64DisableWow64FsRedirection", reinterpret_cast<FarProc>(&BoundWow64Disable)},
    {"Wow64RevertWow64FsRedirection", reinterpret_cast<FarProc>(&BoundWow64Revert)},
    {"Heap32ListFirst", &UnusedToolhelpExport},
    {"Heap32ListNext", &UnusedToolhelpExport},
    {"Heap32First", &UnusedToolhelpExport},
    {"Heap32Next", &UnusedToolhelpExport},
    {"Toolhelp32ReadProcessMemory", &UnusedToolhelpExport},
    {"Process32First", &UnusedToolhelpExport},
    {"Process32Next", &UnusedToolhelpExport},
    {"Thread32First", &UnusedToolhelpExport},
    {"Thread32Next", &UnusedToolhelpExport},
    {"Module32First", &UnusedToolhelpExport},
    {"Module32Next", &UnusedToolhelpExport},
    {"Module32FirstW", &UnusedToolhelpExport},
    {"Module32NextW", &UnusedToolhelpExport},
};

}  // namespace

// ---- Building and looking ---------------------------------------------------------------

std::uint32_t MemoryPlatform::AddProcess(const std::string& exeName, const std::string& imagePath, bool canOpen,
                                         bool canTerminate) {
  // A running program has its file on disk: make a small one when the test gave none.
  if (!imagePath.empty() && !Exists(imagePath)) AddFile(imagePath, "MZ");
  Guard g(s_->mu);
  std::uint32_t pid = s_->nextPid;
  s_->nextPid += 4;
  s_->processes[pid] = mem::Process{exeName, imagePath, canOpen, canTerminate};
  return pid;
}

bool MemoryPlatform::ProcessRunning(std::uint32_t pid) const {
  Guard g(s_->mu);
  return s_->processes.count(pid) != 0;
}

std::vector<std::uint32_t> MemoryPlatform::OpenProcessAccessSeen() const {
  Guard g(s_->mu);
  return s_->openProcessAccess;
}

void MemoryPlatform::SetKernel32Loaded(bool loaded) {
  Guard g(s_->mu);
  s_->kernel32Loaded = loaded;
}

void MemoryPlatform::RemoveExport(const std::string& name) {
  Guard g(s_->mu);
  s_->removedExports.push_back(name);
}

void MemoryPlatform::SetWow64(bool wow64) {
  Guard g(s_->mu);
  s_->wow64 = wow64;
}

// ---- Processes ------------------------------------------------------------------------------

Handle MemoryPlatform::OpenProcess(std::uint32_t access, bool /*inherit*/, std::uint32_t pid) {
  Guard g(s_->mu);
  s_->openProcessAccess.push_back(access);
  if (s_->BeginLocked(Op::OpenProcess, std::to_string(pid))) return kNullHandle;
  auto it = s_->processes.find(pid);
  if (it == s_->processes.end()) return Fail(kErrorInvalidParameter, kNullHandle);
  if (!it->second.canOpen) return Fail(kErrorAccessDenied, kNullHandle);
  Object process;
  process.kind = Object::Kind::Process;
  process.pid = pid;
  process.access = access;
  return s_->NewHandleLocked(std::move(process));
}

bool MemoryPlatform::TerminateProcess(Handle process, std::uint32_t /*exitCode*/) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::TerminateProcess)) return false;
  if (process == GetCurrentProcess()) return Fail(kErrorAccessDenied, false);  // the tests' own process stays
  Object* open = s_->FindObjectLocked(process, Object::Kind::Process);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  s_->TraceLocked("TerminateProcess " + std::to_string(open->pid));
  auto it = s_->processes.find(open->pid);
  // A process that has already ended cannot be terminated again.
  if (!(open->access & kProcessTerminate) || it == s_->processes.end() || !it->second.canTerminate) {
    return Fail(kErrorAccessDenied, false);
  }
  s_->processes.erase(it);  // its image file is free from now on
  return true;
}

Handle MemoryPlatform::GetCurrentProcess() { return kCurrentProcess; }

// ---- kernel32 ------------------------------------------------------------------------------

Handle MemoryPlatform::GetModuleHandleA(const char* name) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::GetModuleHandleA, name ? name : "")) return kNullHandle;
  if (name == nullptr) return kProgramModule;
  std::string folded = mem::FoldCase(name);
  bool kernel32 = folded == "KERNEL32.DLL" || folded == "KERNEL32";
  if (!kernel32 || !s_->kernel32Loaded) return Fail(kErrorModNotFound, kNullHandle);
  return kKernel32Module;
}

FarProc MemoryPlatform::GetProcAddress(Handle module, const char* name) {
  Guard g(s_->mu);
  // A "name" below 64 Ki is an ordinal number, not a pointer to text.
  bool ordinal = reinterpret_cast<std::uintptr_t>(name) < 0x10000;
  if (s_->BeginLocked(Op::GetProcAddress, ordinal ? std::string("#") : std::string(name))) return nullptr;
  if (module != kKernel32Module || !s_->kernel32Loaded) {
    return Fail(module == kProgramModule ? kErrorProcNotFound : kErrorModNotFound, FarProc(nullptr));
  }
  if (ordinal) return Fail(kErrorProcNotFound, FarProc(nullptr));
  for (const std::string& removed : s_->removedExports) {
    if (removed == name) return Fail(kErrorProcNotFound, FarProc(nullptr));
  }
  for (const Export& entry : kKernel32Exports) {
    if (std::strcmp(entry.name, name) == 0) return entry.function;  // export names are case-sensitive
  }
  return Fail(kErrorProcNotFound, FarProc(nullptr));
}

Handle MemoryPlatform::ToolhelpSnapshot(std::uint32_t flags, std::uint32_t /*pid*/) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::CreateToolhelp32Snapshot, std::to_string(flags))) return kInvalidHandle;
  Object snapshot;
  snapshot.kind = Object::Kind::Snapshot;
  if (flags & kTh32csSnapProcess) {
    for (const auto& entry : s_->processes) snapshot.processes.emplace_back(entry.first, entry.second.exeName);
  }
  return s_->NewHandleLocked(std::move(snapshot));
}

bool MemoryPlatform::ToolhelpProcess32(Handle snapshot, ProcessEntry32* entry, bool first) {
  Guard g(s_->mu);
  if (s_->BeginLocked(first ? Op::Process32First : Op::Process32Next)) return false;
  Object* open = s_->FindObjectLocked(snapshot, Object::Kind::Snapshot);
  if (open == nullptr) return Fail(kErrorInvalidHandle, false);
  if (entry == nullptr) return Fail(kErrorInvalidParameter, false);
  // A record shorter than the caller's own layout is refused; a longer one is filled as far as it goes.
  if (entry->dwSize < sizeof(ProcessEntry32)) return Fail(kErrorBadLength, false);
  if (first) open->next = 0;
  if (open->next >= open->processes.size()) return Fail(kErrorNoMoreFiles, false);
  const auto& process = open->processes[open->next++];
  std::uint32_t size = entry->dwSize;
  std::memset(entry, 0, sizeof(*entry));
  entry->dwSize = size;
  entry->th32ProcessID = process.first;
  entry->cntThreads = 1;
  entry->pcPriClassBase = 8;  // normal priority
  // The machine's names are UTF-8; the record holds their UTF-16 form.
  std::u16string name;
  Utf8ToUtf16(process.second, &name);
  std::size_t length = std::min<std::size_t>(name.size(), kMaxPath - 1);
  std::memcpy(entry->szExeFile, name.data(), length * sizeof(char16_t));
  return true;
}

bool MemoryPlatform::QueryWow64Process(Handle process, std::int32_t* wow64) {
  Guard g(s_->mu);
  s_->TraceLocked("IsWow64Process");
  bool known = process == GetCurrentProcess() || s_->FindObjectLocked(process, Object::Kind::Process) != nullptr;
  if (!known) return Fail(kErrorInvalidHandle, false);
  if (wow64 == nullptr) return Fail(kErrorInvalidParameter, false);
  *wow64 = s_->wow64 ? 1 : 0;
  return true;
}

// The previous state travels in *oldValue, as the system's opaque value does.
// Outside WOW64 there is nothing to redirect, and the system refuses both.
bool MemoryPlatform::DisableFsRedirection(void** oldValue) {
  Guard g(s_->mu);
  s_->TraceLocked("Wow64DisableWow64FsRedirection");
  if (!s_->wow64 || oldValue == nullptr) return Fail(s_->wow64 ? kErrorNoAccess : kErrorInvalidFunction, false);
  *oldValue = reinterpret_cast<void*>(static_cast<std::uintptr_t>(mem::ThreadRedirectionOff()));
  mem::SetThreadRedirectionOff(true);
  return true;
}

bool MemoryPlatform::RevertFsRedirection(void* oldValue) {
  Guard g(s_->mu);
  s_->TraceLocked("Wow64RevertWow64FsRedirection");
  if (!s_->wow64) return Fail(kErrorInvalidFunction, false);
  mem::SetThreadRedirectionOff(oldValue != nullptr);
  return true;
}

// ---- Threads ---------------------------------------------------------------------------------

Handle MemoryPlatform::CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) {
  Guard g(s_->mu);
  if (s_->BeginLocked(Op::CreateThread)) return kNullHandle;
  if (body == nullptr) return Fail(kErrorInvalidParameter, kNullHandle);
  auto record = std::make_shared<mem::ThreadRecord>();
  // Starting under the lock is safe: the new thread takes it only inside body.
  if (!mem::RunDetached([body, param, record] {
        body(param);
        record->done.Set();
      })) {
    return Fail(kErrorNotEnoughMemory, kNullHandle);
  }
  s_->threads.push_back(record);
  Object thread;
  thread.kind = Object::Kind::Thread;
  thread.thread = record;
  if (threadId) *threadId = s_->nextThreadId;
  s_->nextThreadId += 4;
  return s_->NewHandleLocked(std::move(thread));
}

std::uint32_t MemoryPlatform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  std::shared_ptr<mem::ThreadRecord> thread;
  {
    Guard g(s_->mu);
    if (s_->BeginLocked(Op::WaitForSingleObject)) return kWaitFailed;
    auto it = s_->handles.find(object);
    if (it == s_->handles.end()) return Fail(kErrorInvalidHandle, kWaitFailed);
    if (it->second.kind == Object::Kind::Process) {
      if (!s_->processes.count(it->second.pid)) return kWaitObject0;
      // A simulated process never ends by itself: the wait times out in virtual
      // time (an endless wait too, rather than hanging the test).
      if (milliseconds != kInfinite) s_->nowMs += milliseconds;
      return kWaitTimeout;
    }
    if (it->second.kind != Object::Kind::Thread) return Fail(kErrorInvalidHandle, kWaitFailed);
    thread = it->second.thread;
  }
  // Threads run for real, so their wait is in real time, outside the lock.
  return thread->done.Wait(milliseconds) ? kWaitObject0 : kWaitTimeout;
}

}  // namespace vx
