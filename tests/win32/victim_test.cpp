// What only a real process can show: a copy of this program running under
// another image name, as the sweep meets a worm process, is found in the
// ToolHelp list, holds its program file while it runs, and is ended. The
// Windows facts both platforms share are in the platform contract.
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
  for (const auto& e : list) {
    if (e.th32ProcessID == pid) return &e;
  }
  return nullptr;
}

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
  ASSERT_NE(victim, nullptr);
  EXPECT_EQ(_stricmp(victim->szExeFile, "vx_victim.exe"), 0) << victim->szExeFile;
  EXPECT_EQ(victim->th32ParentProcessID, ::GetCurrentProcessId());

  // While it runs, its program file can be read but neither written nor deleted.
  vx::Handle image = Os().CreateFileA(exe_.c_str(), vx::kGenericRead, vx::kFileShareRead | vx::kFileShareWrite |
                                      vx::kFileShareDelete, vx::kOpenExisting, vx::kAttrNormal);
  EXPECT_NE(image, vx::kInvalidHandle);
  EXPECT_TRUE(Os().CloseHandle(image));
  Os().SetLastError(kMarker);
  EXPECT_EQ(Os().CreateFileA(exe_.c_str(), vx::kGenericWrite, vx::kFileShareRead | vx::kFileShareWrite |
                             vx::kFileShareDelete, vx::kOpenExisting, vx::kAttrNormal),
            vx::kInvalidHandle);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorSharingViolation);
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().DeleteFileA(exe_.c_str()));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied);

  Os().SetLastError(kMarker);
  vx::Handle process = Os().OpenProcess(vx::kProcessAllAccessClassic, false, pi_.dwProcessId);
  ASSERT_NE(process, vx::kNullHandle);
  EXPECT_EQ(Os().GetLastError(), kMarker);
  EXPECT_EQ(Os().WaitForSingleObject(process, 0), vx::kWaitTimeout);
  EXPECT_TRUE(Os().TerminateProcess(process, 9));
  EXPECT_EQ(Os().WaitForSingleObject(process, 10000), vx::kWaitObject0);
  DWORD code = 0;
  EXPECT_TRUE(::GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &code));
  EXPECT_EQ(code, 9u);
  EXPECT_TRUE(Os().CloseHandle(process));

  list.clear();
  ASSERT_TRUE(TakeSnapshot(&list));
  EXPECT_EQ(FindPid(list, pi_.dwProcessId), nullptr);
  // Once ended, its program file can be deleted.
  EXPECT_TRUE(Os().DeleteFileA(exe_.c_str()));
}

}  // namespace
