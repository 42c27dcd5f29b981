// The adapter's registry, process, thread and clock calls against the real
// system: the registry value writer, the process sweep with its run-time
// ToolHelp binding, the scan worker and the walker's pacing rely on them.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/win32/win32_test_support.h"

namespace {

constexpr std::uint32_t kMarker = 0xdeadbeef;

vx::Platform& Os() { return vx::Sys(); }

std::string TestKeyName() { return "Software\\VxAdapterTests\\k" + std::to_string(::GetCurrentProcessId()); }

void ExpectDword(HKEY root, const std::string& subKey, const char* name, DWORD expected) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key));
  DWORD type = 0, value = 0, size = sizeof value;
  EXPECT_EQ(ERROR_SUCCESS, ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(DWORD(REG_DWORD), type);
  EXPECT_EQ(sizeof(DWORD), size);
  EXPECT_EQ(expected, value);
  ::RegCloseKey(key);
}

void DeleteTestKeys(HKEY root) {
  std::string path = TestKeyName() + "\\Folder\\Hidden\\SHOWALL";
  for (;;) {
    ::RegDeleteKeyA(root, path.c_str());
    std::size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos || path.compare(0, cut, "Software") == 0) break;
    path.resize(cut);
  }
}

void RegistryRoundTrip(vx::Handle root) {
  const std::string sub = TestKeyName() + "\\Folder\\Hidden\\SHOWALL";
  vx::Handle key = vx::kNullHandle;
  std::uint32_t disposition = 0;
  ASSERT_EQ(0, Os().RegCreateKeyExA(root, sub.c_str(), vx::kRegOptionNonVolatile, vx::kKeyWrite, &key,
                                    &disposition));
  EXPECT_NE(vx::kNullHandle, key);
  EXPECT_EQ(vx::kRegCreatedNewKey, disposition);
  std::uint32_t one = 1;
  EXPECT_EQ(0, Os().RegSetValueExA(key, "CheckedValue", vx::kRegDword, &one, sizeof one));
  EXPECT_EQ(0, Os().RegCloseKey(key));
  ExpectDword(reinterpret_cast<HKEY>(root), sub, "CheckedValue", 1);

  // Again over the existing key: opened, value replaced.
  ASSERT_EQ(0, Os().RegCreateKeyExA(root, sub.c_str(), vx::kRegOptionNonVolatile, vx::kKeyWrite, &key,
                                    &disposition));
  EXPECT_EQ(vx::kRegOpenedExistingKey, disposition);
  std::uint32_t two = 2;
  EXPECT_EQ(0, Os().RegSetValueExA(key, "CheckedValue", vx::kRegDword, &two, sizeof two));
  EXPECT_EQ(0, Os().RegCloseKey(key));
  ExpectDword(reinterpret_cast<HKEY>(root), sub, "CheckedValue", 2);

  // A closed key is refused.
  EXPECT_EQ(std::int32_t(vx::kErrorInvalidHandle),
            Os().RegSetValueExA(key, "CheckedValue", vx::kRegDword, &one, sizeof one));

  DeleteTestKeys(reinterpret_cast<HKEY>(root));
}

TEST(Registry, CreateSetCloseUnderCurrentUser) { RegistryRoundTrip(vx::kHkeyCurrentUser); }

// The program writes its value under HKEY_LOCAL_MACHINE.
TEST(Registry, CreateSetCloseUnderLocalMachine) { RegistryRoundTrip(vx::kHkeyLocalMachine); }

TEST(Registry, FailuresComeBackAsResults) {
  vx::Handle key = vx::kNullHandle;
  std::uint32_t disposition = 0;
  EXPECT_EQ(std::int32_t(vx::kErrorInvalidHandle),
            Os().RegCreateKeyExA(0x12345678u, "Software", 0, vx::kKeyWrite, &key, &disposition));
  EXPECT_EQ(std::int32_t(vx::kErrorInvalidHandle), Os().RegCloseKey(0x12345678u));
}

using ProcessList = std::vector<vx::ProcessEntry32>;

// The process list exactly as the sweep takes it: ToolHelp bound at run time.
bool TakeSnapshot(ProcessList* out) {
  vx::Handle kernel = Os().GetModuleHandleA("kernel32.dll");
  if (kernel == vx::kNullHandle) return false;
  auto snap = reinterpret_cast<vx::CreateToolhelp32SnapshotFn>(Os().GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
  auto first = reinterpret_cast<vx::Process32Fn>(Os().GetProcAddress(kernel, "Process32First"));
  auto next = reinterpret_cast<vx::Process32Fn>(Os().GetProcAddress(kernel, "Process32Next"));
  if (!snap || !first || !next) return false;
  vx::Handle s = snap(vx::kTh32csSnapProcess, 0);
  if (s == vx::kInvalidHandle) return false;
  vx::ProcessEntry32 entry;
  std::memset(&entry, 0, sizeof entry);
  entry.dwSize = sizeof entry;
  for (bool ok = first(s, &entry) != 0; ok; ok = next(s, &entry) != 0) out->push_back(entry);
  std::uint32_t end = Os().GetLastError();
  Os().CloseHandle(s);
  return end == vx::kErrorNoMoreFiles;
}

const vx::ProcessEntry32* FindPid(const ProcessList& list, std::uint32_t pid) {
  for (const auto& e : list)
    if (e.th32ProcessID == pid) return &e;
  return nullptr;
}

TEST(Processes, RunTimeBindingFindsTheFunctionsOrReportsTheirAbsence) {
  vx::Handle kernel = Os().GetModuleHandleA("kernel32.dll");
  ASSERT_NE(vx::kNullHandle, kernel);
  EXPECT_EQ(kernel, Os().GetModuleHandleA("KERNEL32.DLL"));
  EXPECT_NE(nullptr, Os().GetProcAddress(kernel, "Process32First"));
  Os().SetLastError(kMarker);
  EXPECT_EQ(nullptr, Os().GetProcAddress(kernel, "Process32FirstNoSuchName"));
  EXPECT_EQ(vx::kErrorProcNotFound, Os().GetLastError());
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kNullHandle, Os().GetModuleHandleA("vx_no_such_module.dll"));
  EXPECT_EQ(vx::kErrorModNotFound, Os().GetLastError());

  // The current-process pseudo handle has the same value as an invalid handle.
  EXPECT_EQ(vx::kInvalidHandle, Os().GetCurrentProcess());
  auto isWow64 = reinterpret_cast<vx::IsWow64ProcessFn>(Os().GetProcAddress(kernel, "IsWow64Process"));
  ASSERT_NE(nullptr, isWow64);
  std::int32_t wow64 = -1;
  EXPECT_NE(0, isWow64(Os().GetCurrentProcess(), &wow64));
  EXPECT_EQ(0, wow64);  // a 32-bit program in a 32-bit prefix
}

TEST(Processes, SnapshotListsThisProgramByImageName) {
  ProcessList list;
  ASSERT_TRUE(TakeSnapshot(&list));
  EXPECT_GT(list.size(), 1u);
  const vx::ProcessEntry32* self = FindPid(list, ::GetCurrentProcessId());
  ASSERT_NE(nullptr, self);
  std::string image = vxtest::SelfPath();
  image = image.substr(image.find_last_of('\\') + 1);
  EXPECT_EQ(0, _stricmp(image.c_str(), self->szExeFile)) << self->szExeFile;
  EXPECT_EQ(nullptr, std::strchr(self->szExeFile, '\\'));  // a bare name, no folder
  EXPECT_GE(self->cntThreads, 1u);
}

// Starts a copy of this program under another image name, as the sweep would
// meet a worm process, and ends it.
class Victim : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = dir_ / "vx_victim.exe";
    ASSERT_TRUE(::CopyFileA(vxtest::SelfPath().c_str(), exe_.c_str(), FALSE));
    std::string command = "\"" + exe_ + "\" --sleep 60000";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    ASSERT_TRUE(::CreateProcessA(exe_.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_));
    ::CloseHandle(pi_.hThread);
  }
  void TearDown() override {
    if (pi_.hProcess) {
      ::TerminateProcess(pi_.hProcess, 1);
      ::WaitForSingleObject(pi_.hProcess, 10000);
      ::CloseHandle(pi_.hProcess);
    }
  }
  vxtest::TempDir dir_;
  std::string exe_;
  PROCESS_INFORMATION pi_ = {};
};

TEST_F(Victim, FoundInTheSnapshotThenOpenedAndTerminated) {
  ProcessList list;
  ASSERT_TRUE(TakeSnapshot(&list));
  const vx::ProcessEntry32* victim = FindPid(list, pi_.dwProcessId);
  ASSERT_NE(nullptr, victim);
  EXPECT_EQ(0, _stricmp("vx_victim.exe", victim->szExeFile)) << victim->szExeFile;
  EXPECT_EQ(::GetCurrentProcessId(), victim->th32ParentProcessID);

  Os().SetLastError(kMarker);
  vx::Handle process = Os().OpenProcess(vx::kProcessAllAccessClassic, false, pi_.dwProcessId);
  ASSERT_NE(vx::kNullHandle, process);
  EXPECT_EQ(kMarker, Os().GetLastError());
  EXPECT_EQ(vx::kWaitTimeout, Os().WaitForSingleObject(process, 0));
  EXPECT_TRUE(Os().TerminateProcess(process, 9));
  EXPECT_EQ(vx::kWaitObject0, Os().WaitForSingleObject(process, 10000));
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code));
  EXPECT_EQ(9u, code);
  EXPECT_TRUE(Os().CloseHandle(process));

  list.clear();
  ASSERT_TRUE(TakeSnapshot(&list));
  EXPECT_EQ(nullptr, FindPid(list, pi_.dwProcessId));
  // Once ended, its program file can be deleted.
  EXPECT_TRUE(Os().DeleteFileA(exe_.c_str()));
}

TEST(Processes, OpenAndTerminateFailures) {
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kNullHandle, Os().OpenProcess(vx::kProcessAllAccessClassic, false, 0));
  EXPECT_EQ(vx::kErrorInvalidParameter, Os().GetLastError());
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().TerminateProcess(vx::kNullHandle, 1));
  EXPECT_EQ(vx::kErrorInvalidHandle, Os().GetLastError());
}

std::uint32_t VX_WINAPI StoreAndReturn(void* param) {
  *static_cast<volatile int*>(param) = 7;
  return 42;
}

std::uint32_t VX_WINAPI SleepAWhile(void*) {
  ::Sleep(300);
  return 0;
}

TEST(Threads, CreateRunWaitAndTimeOut) {
  volatile int seen = 0;
  std::uint32_t id = 0;
  vx::Handle t = Os().CreateThread(&StoreAndReturn, const_cast<int*>(&seen), &id);
  ASSERT_NE(vx::kNullHandle, t);
  EXPECT_NE(0u, id);
  EXPECT_EQ(vx::kWaitObject0, Os().WaitForSingleObject(t, 10000));
  EXPECT_EQ(7, seen);
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeThread(reinterpret_cast<HANDLE>(t), &code));
  EXPECT_EQ(42u, code);
  EXPECT_TRUE(Os().CloseHandle(t));

  t = Os().CreateThread(&SleepAWhile, nullptr, nullptr);
  ASSERT_NE(vx::kNullHandle, t);
  EXPECT_EQ(vx::kWaitTimeout, Os().WaitForSingleObject(t, 10));
  EXPECT_EQ(vx::kWaitObject0, Os().WaitForSingleObject(t, 10000));
  EXPECT_TRUE(Os().CloseHandle(t));

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kWaitFailed, Os().WaitForSingleObject(vx::kNullHandle, 0));
  EXPECT_EQ(vx::kErrorInvalidHandle, Os().GetLastError());
}

TEST(Clock, SleepTickCountAndTimerPeriod) {
  std::uint32_t before = Os().GetTickCount();
  Os().Sleep(100);
  std::uint32_t slept = Os().GetTickCount() - before;
  EXPECT_GE(slept, 80u);  // tick granularity: up to ~16 ms early
  EXPECT_LT(slept, 2000u);

  EXPECT_EQ(0u, Os().TimeBeginPeriod(1));
  // The walker pauses 1 ms before each marker deletion and 10 ms per entry;
  // with a 1 ms period a thousand short sleeps must not take many seconds.
  before = Os().GetTickCount();
  for (int i = 0; i < 100; ++i) Os().Sleep(1);
  EXPECT_LT(Os().GetTickCount() - before, 1000u);
  EXPECT_EQ(0u, Os().TimeEndPeriod(1));
  EXPECT_EQ(97u, Os().TimeBeginPeriod(0));  // TIMERR_NOCANDO
}

}  // namespace
