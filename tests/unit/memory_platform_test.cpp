// What only the in-memory machine can make and the engine's tests rely on:
// deep paths, 4 GiB sparse files, folder links and their loops, refusing or
// accepting protected files, processes that resist, the WOW64 view, its
// virtual clock and its faults. What Windows itself answers is pinned by the
// platform contract (tests/contract), which runs over this machine and over
// the Win32 adapter alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testbed/memory_platform.h"
#include "tests/test_helpers.h"

namespace vx {
namespace {

constexpr std::uint32_t kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&m);
    m.SetLastError(vxtest::kErrorMarker);
  }
  void TearDown() override { SetPlatform(nullptr); }

  // Every name a listing gives, in order (how a listing ends is the contract's).
  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    FindData data;
    Handle h = m.FindFirstFileA(pattern.c_str(), &data);
    if (h == kInvalidHandle) return names;
    do names.push_back(data.name);
    while (m.FindNextFileA(h, &data));
    m.FindClose(h);
    return names;
  }
  Handle Open(const char* path, std::uint32_t access, std::uint32_t share = kFileShareRead,
              std::uint32_t disposition = kOpenExisting, std::uint32_t attributes = kAttrNormal) {
    return m.CreateFileA(path, access, share, disposition, attributes);
  }
  bool Write(Handle h, const std::string& bytes, std::uint32_t* written = nullptr) {
    std::uint32_t count = 0;
    bool ok = m.WriteFile(h, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &count);
    if (written) *written = count;
    return ok;
  }

  MemoryPlatform m;
};

using MemoryBuildersTest = MemoryTest;
using MemoryClockTest = MemoryTest;
using MemoryProcessTest = MemoryTest;
using MemoryRegistryTest = MemoryTest;
using MemoryFaultTest = MemoryTest;

TEST_F(MemoryBuildersTest, FoldersListInTheOrderTheyWereFilled) {
  m.AddDrive('D', kDriveRemovable);
  m.AddFile("D:\\zeta.exe", "z");
  m.AddFolder("D:\\alpha");
  m.AddFile("D:\\alpha\\b", "");
  m.AddFile("D:\\alpha\\a.htm", "");
  EXPECT_EQ(List("D:\\*.*"), (std::vector<std::string>{"zeta.exe", "alpha"}));
  EXPECT_EQ(List("D:\\alpha\\*"), (std::vector<std::string>{".", "..", "b", "a.htm"}));
  EXPECT_EQ(m.ListNames("D:\\alpha"), (std::vector<std::string>{"b", "a.htm"}));
}

TEST_F(MemoryBuildersTest, DeepPathsAreHeldThoughNoAnsiCallCanNameThem) {
  std::string longPath = "C:\\" + std::string(257, 'a');  // 260 bytes
  m.AddFile(longPath + "\\deep.exe", "MZ");
  EXPECT_TRUE(m.Exists(longPath + "\\deep.exe"));
  EXPECT_EQ(List("C:\\a*"), (std::vector<std::string>{longPath.substr(3)}));
  EXPECT_EQ(m.CreateFileA((longPath + "\\deep.exe").c_str(), kGenericRead, 0, kOpenExisting, 0), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorFilenameExcedRange);
}

TEST_F(MemoryBuildersTest, SparseFilesPast4GiB) {
  m.AddSparseFile("C:\\big\\huge.bin", (4ull << 30) + 10, kAttrHidden);
  FindData data;
  Handle h = m.FindFirstFileA("C:\\big\\h*", &data);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(data.attributes, kAttrHidden);
  EXPECT_EQ(data.sizeHigh, 1u);
  EXPECT_EQ(data.sizeLow, 10u);
  EXPECT_TRUE(m.FindClose(h));

  m.AddSparseFile("C:\\s", 3ull << 30);
  h = Open("C:\\s", kGenericRead | kGenericWrite);
  std::uint32_t high = 0;
  EXPECT_EQ(m.GetFileSize(h, &high), 0xC0000000u);
  std::int32_t distanceHigh = 1;
  EXPECT_EQ(m.SetFilePointer(h, 5, &distanceHigh, kFileBegin), 5u);
  EXPECT_EQ(distanceHigh, 1);
  // Windows refuses a position past 4 GiB to a caller that gave no high half.
  EXPECT_EQ(m.SetFilePointer(h, 0, nullptr, kFileCurrent), kInvalidSetFilePointer);
  EXPECT_EQ(m.GetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(m.SetFilePointer(h, 100, nullptr, kFileBegin), 100u);
  char buffer[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  std::uint32_t got = 0;
  ASSERT_TRUE(m.ReadFile(h, buffer, 8, &got));
  EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
  EXPECT_TRUE(Write(h, "MZ"));
  EXPECT_EQ(m.SetFilePointer(h, 108, nullptr, kFileBegin), 108u);
  EXPECT_TRUE(m.ReadFile(h, buffer, 4, &got));
  EXPECT_EQ(std::string(buffer, 4), std::string("MZ\0\0", 4));
  m.CloseHandle(h);
  EXPECT_EQ(m.FileSize("C:\\s"), 3ull << 30);
}

TEST_F(MemoryBuildersTest, FolderLinkListsItsTargetAndCanLoop) {
  m.AddFile("C:\\data\\x.txt", "x");
  m.AddFolderLink("C:\\data\\loop", "C:\\data");
  EXPECT_EQ(m.Attributes("C:\\data\\loop"), kAttrDirectory | kAttrReparsePoint);
  EXPECT_EQ(List("C:\\data\\loop\\loop\\*.*"), (std::vector<std::string>{".", "..", "x.txt", "loop"}));
  std::string deep = "C:\\data";
  while (deep.size() < 260) deep += "\\loop";
  FindData data;
  EXPECT_EQ(m.FindFirstFileA((deep + "\\*").c_str(), &data), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorFilenameExcedRange);
}

TEST_F(MemoryBuildersTest, ProtectedFilesRefusedLikeWindowsAcceptedLikeWineAsRoot) {
  m.AddFile("C:\\ro", "r", kAttrReadOnly);
  m.AddFile("C:\\hid", "h", kAttrHidden | kAttrArchive);
  EXPECT_EQ(Open("C:\\ro", kGenericWrite), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\hid", kGenericWrite, 0, kCreateAlways, kAttrNormal), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  Handle h = Open("C:\\hid", kGenericWrite, 0, kCreateAlways, kAttrHidden);
  EXPECT_NE(h, kInvalidHandle);
  m.CloseHandle(h);

  m.SetRefusesProtectedFiles(false);
  h = Open("C:\\ro", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_TRUE(Write(h, "new"));
  m.CloseHandle(h);
  EXPECT_EQ(m.FileBytes("C:\\ro"), "new");
  EXPECT_EQ(m.Attributes("C:\\ro") & kAttrReadOnly, kAttrReadOnly);
  EXPECT_FALSE(m.DeleteFileA("C:\\ro"));  // not even Wine as root deletes a read-only file
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
}

TEST_F(MemoryBuildersTest, WritesStampTheVirtualClock) {
  m.AddFile("C:\\f", "0123456789", kAttrArchive, MemoryPlatform::kDefaultTime);
  Handle h = Open("C:\\f", kGenericWrite);
  m.Sleep(1000);
  EXPECT_TRUE(Write(h, "ab"));
  m.CloseHandle(h);
  EXPECT_EQ(m.LastWriteTime("C:\\f"), m.NowFileTime());
  EXPECT_GT(m.LastWriteTime("C:\\f"), MemoryPlatform::kDefaultTime);
}

// Where Wine answers otherwise than Windows, the machine keeps to Windows;
// the platform contract leaves these out, so they are pinned here.
TEST_F(MemoryBuildersTest, WindowsAnswersWhereWineDiffers) {
  EXPECT_EQ(m.GetDriveTypeA("C:\\windows\\"), kDriveNoRootDir);  // Wine: the drive's type
  m.AddFile("C:\\d\\f", "data");
  FindData data;
  EXPECT_EQ(m.FindFirstFileA("C:\\d\\f\\*", &data), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorDirectory);  // Wine: ERROR_INVALID_NAME
  Handle reader = Open("C:\\d\\f", kGenericRead, kShareAll);
  EXPECT_FALSE(m.SetEndOfFile(reader));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);  // Wine: ERROR_INVALID_PARAMETER

  // Deleted while open, the name refuses every use until the last close (Wine lets it be used).
  EXPECT_TRUE(m.DeleteFileA("C:\\d\\f"));
  EXPECT_EQ(m.GetFileAttributesA("C:\\d\\f"), kInvalidFileAttributes);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\d\\f", kGenericRead, kShareAll), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(m.DeleteFileA("C:\\d\\f"));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(m.CloseHandle(reader));
}

TEST_F(MemoryClockTest, SleepAdvancesVirtualTimeAndRunsHookUnlocked) {
  std::vector<std::uint64_t> seen;
  m.OnSleep([&](std::uint32_t) { seen.push_back(m.NowMs()); });  // would deadlock if run locked
  std::uint32_t before = m.GetTickCount();
  m.Sleep(10);
  m.Sleep(1);
  EXPECT_EQ(m.GetTickCount() - before, 11u);
  EXPECT_EQ(m.Sleeps(), (std::vector<std::uint32_t>{10, 1}));
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{10, 11}));
  EXPECT_EQ(m.TimeBeginPeriod(1), kTimerNoError);
  EXPECT_EQ(m.TimerPeriodDepth(), 1);
  EXPECT_EQ(m.TimeEndPeriod(1), kTimerNoError);
  EXPECT_EQ(m.TimeEndPeriod(1), kTimerNoCando);  // nothing left to end
  EXPECT_EQ(m.TimerPeriodDepth(), 0);
}

std::uint32_t VX_WINAPI WritesTwentyFiles(void* param) {
  int worker = *static_cast<int*>(param);
  for (int i = 0; i < 20; ++i) {
    std::string path = "C:\\w\\" + std::to_string(worker) + "_" + std::to_string(i);
    Handle h = Sys().CreateFileA(path.c_str(), kGenericWrite, 0, kCreateNew, kAttrNormal);
    std::uint32_t written = 0;
    Sys().WriteFile(h, path.data(), static_cast<std::uint32_t>(path.size()), &written);
    Sys().Sleep(1);
    Sys().CloseHandle(h);
  }
  return 0;
}

TEST_F(MemoryClockTest, ConcurrentWorkersSeeOneConsistentMachine) {
  m.AddFolder("C:\\w");
  int ids[4] = {0, 1, 2, 3};
  Handle threads[4];
  for (int i = 0; i < 4; ++i) threads[i] = m.CreateThread(&WritesTwentyFiles, &ids[i], nullptr);
  for (Handle t : threads) {
    EXPECT_EQ(m.WaitForSingleObject(t, 10000), kWaitObject0);
    m.CloseHandle(t);
  }
  EXPECT_EQ(m.ListNames("C:\\w").size(), 80u);
  EXPECT_EQ(m.FileBytes("C:\\w\\3_19"), "C:\\w\\3_19");
  EXPECT_EQ(m.NowMs(), 80u);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryProcessTest, RunningImageIsLockedUntilTheProcessEnds) {
  m.AddFile("C:\\windows\\system32\\drivers\\w.exe", "MZ");
  std::uint32_t pid = m.AddProcess("w.exe", "C:\\windows\\system32\\drivers\\w.exe");
  EXPECT_FALSE(m.DeleteFileA("C:\\windows\\system32\\drivers\\w.exe"));  // the contract has the rest
  Handle process = m.OpenProcess(kProcessAllAccessClassic, false, pid);
  ASSERT_TRUE(m.TerminateProcess(process, 0));
  m.CloseHandle(process);
  EXPECT_TRUE(m.DeleteFileA("C:\\windows\\system32\\drivers\\w.exe"));
  m.AddProcess("x.exe", "C:\\windows\\system32\\drivers\\x.exe");  // a running program has its file
  EXPECT_TRUE(m.Exists("C:\\windows\\system32\\drivers\\x.exe"));
}

TEST_F(MemoryProcessTest, SnapshotTakesTheProcessesOfItsMoment) {
  std::uint32_t first = m.AddProcess("explorer.exe");
  std::uint32_t second = m.AddProcess("a_very_long_name.exe");
  EXPECT_EQ(second, first + 4);
  Handle kernel = m.GetModuleHandleA("kernel32");
  auto snap = reinterpret_cast<CreateToolhelp32SnapshotFn>(m.GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
  auto firstFn = reinterpret_cast<Process32Fn>(m.GetProcAddress(kernel, "Process32First"));
  auto next = reinterpret_cast<Process32Fn>(m.GetProcAddress(kernel, "Process32Next"));
  ASSERT_TRUE(snap && next && firstFn);
  Handle s = snap(kTh32csSnapProcess, 0);
  m.AddProcess("late.exe");  // after the snapshot: not in it
  ProcessEntry32 entry;
  entry.dwSize = sizeof(entry);
  std::vector<std::string> names;
  for (bool more = firstFn(s, &entry) != 0; more; more = next(s, &entry) != 0) names.push_back(entry.szExeFile);
  EXPECT_EQ(names, (std::vector<std::string>{"explorer.exe", "a_very_long_name.exe"}));
  EXPECT_TRUE(m.CloseHandle(s));
  // A fault planned for the snapshot reaches the function bound at run time.
  m.FailCall(Op::CreateToolhelp32Snapshot, 1, kErrorNotEnoughMemory);
  EXPECT_EQ(snap(kTh32csSnapProcess, 0), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorNotEnoughMemory);
  EXPECT_EQ(m.CallCount(Op::CreateToolhelp32Snapshot), 2);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryProcessTest, ProcessesThatResistAndTheWow64Switch) {
  std::uint32_t locked = m.AddProcess("sys.exe", "", false);
  std::uint32_t stubborn = m.AddProcess("av.exe", "", true, false);
  std::uint32_t plain = m.AddProcess("w.exe");
  EXPECT_EQ(m.OpenProcess(kProcessAllAccessClassic, false, locked), kNullHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(m.OpenProcess(kProcessAllAccessClassic, false, 9999), kNullHandle);
  EXPECT_EQ(m.GetLastError(), kErrorInvalidParameter);
  Handle h = m.OpenProcess(kProcessAllAccessClassic, false, stubborn);
  EXPECT_FALSE(m.TerminateProcess(h, 0));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  m.CloseHandle(h);
  h = m.OpenProcess(kProcessQueryInformation, false, plain);
  EXPECT_FALSE(m.TerminateProcess(h, 0));
  m.CloseHandle(h);
  h = m.OpenProcess(kProcessAllAccessClassic, false, plain);
  EXPECT_EQ(m.WaitForSingleObject(h, 0), kWaitTimeout);
  EXPECT_TRUE(m.TerminateProcess(h, 0));
  EXPECT_FALSE(m.ProcessRunning(plain));
  EXPECT_EQ(m.WaitForSingleObject(h, 0), kWaitObject0);
  m.CloseHandle(h);
  EXPECT_EQ(m.OpenProcessAccessSeen().size(), 5u);

  auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(m.GetProcAddress(m.GetModuleHandleA("kernel32"), "IsWow64Process"));
  std::int32_t wow64 = 7;
  ASSERT_TRUE(isWow64(m.GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, 0);
  m.SetWow64(true);
  ASSERT_TRUE(isWow64(m.GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64, 1);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryRegistryTest, Wow64ViewAndAReadOnlyRegistry) {
  m.SetWow64(true);
  Handle key = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, "Software\\Vendor", 0, kKeyWrite, &key, &disposition), 0);
  ASSERT_EQ(m.RegSetValueExA(key, nullptr, kRegSz, "v", 2), 0);
  m.RegCloseKey(key);
  EXPECT_FALSE(m.RegKeyExists(kHkeyLocalMachine, "Software\\Vendor"));
  EXPECT_TRUE(m.RegValue(kHkeyLocalMachine, "SOFTWARE\\WOW6432Node\\Vendor", "").has_value());
  ASSERT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, "Software\\Vendor", 0, kKeyWrite | kKeyWow64_64Key, &key, nullptr), 0);
  m.RegCloseKey(key);
  EXPECT_TRUE(m.RegKeyExists(kHkeyLocalMachine, "Software\\Vendor"));
  EXPECT_EQ(m.RegAccessSeen().back(), kKeyWrite | kKeyWow64_64Key);

  m.SetRegistryWritable(false);
  EXPECT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, "SOFTWARE\\X", 0, kKeyWrite, &key, nullptr),
            static_cast<std::int32_t>(kErrorAccessDenied));
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryFaultTest, NthCallFailsWithoutEffectThenOrFromThenOn) {
  m.AddFile("C:\\d\\a", "");
  m.AddFile("C:\\d\\b", "");
  m.FailCall(Op::CreateFileA, 2, kErrorLockViolation);
  Handle h = Open("C:\\d\\a", kGenericRead);
  m.CloseHandle(h);
  EXPECT_EQ(Open("C:\\d\\new", kGenericWrite, 0, kCreateAlways), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorLockViolation);
  EXPECT_FALSE(m.Exists("C:\\d\\new"));
  h = Open("C:\\d\\a", kGenericRead);
  EXPECT_NE(h, kInvalidHandle);
  m.CloseHandle(h);

  FindData data;
  Handle search = m.FindFirstFileA("C:\\d\\*", &data);
  m.FailCall(Op::FindNextFileA, 1, kErrorReadFault, true);
  EXPECT_FALSE(m.FindNextFileA(search, &data));
  EXPECT_FALSE(m.FindNextFileA(search, &data));
  EXPECT_EQ(m.GetLastError(), kErrorReadFault);
  m.ClearFaults();
  ASSERT_TRUE(m.FindNextFileA(search, &data));
  EXPECT_STREQ(data.name, "..");  // not advanced by the failed calls
  m.FindClose(search);
  EXPECT_EQ(m.FaultsFired(), 3);
  EXPECT_EQ(m.CallCount(Op::CreateFileA), 3);
  EXPECT_EQ(m.CallCount(Op::FindNextFileA), 3);
  EXPECT_EQ(m.CallCount(Op::Count), 3 + 1 + 3 + 1 + 2);  // with FindFirstFileA, FindClose and two closes
  m.ResetCallCounts();
  EXPECT_EQ(m.CallCount(Op::CreateFileA), 0);
}

TEST_F(MemoryFaultTest, FailedCloseStillReleasesTheFile) {
  m.AddFile("C:\\f", "x");
  Handle h = Open("C:\\f", kGenericWrite, 0);
  m.FailCall(Op::CloseHandle, 1, kErrorInvalidHandle);
  EXPECT_FALSE(m.CloseHandle(h));
  EXPECT_EQ(m.OpenHandleCount(), 0);
  EXPECT_TRUE(m.DeleteFileA("C:\\f"));
  EXPECT_FALSE(m.CloseHandle(h));
  EXPECT_EQ(m.GetLastError(), kErrorInvalidHandle);
}

TEST_F(MemoryFaultTest, WriteLimitCutsTheCrossingWrite) {
  Handle h = Open("C:\\f", kGenericWrite, 0, kCreateAlways);
  m.FailWriteAfter(6);
  std::uint32_t written = 0;
  EXPECT_TRUE(Write(h, "abcd", &written));
  EXPECT_FALSE(Write(h, "efgh", &written));
  EXPECT_EQ(m.GetLastError(), kErrorDiskFull);
  EXPECT_EQ(written, 2u);
  EXPECT_TRUE(Write(h, "ij"));  // the limit fires once
  m.FailWriteAfter(1, kErrorDiskFull, true);
  EXPECT_TRUE(Write(h, "kl", &written));
  EXPECT_EQ(written, 1u);
  m.CloseHandle(h);
  EXPECT_EQ(m.FileBytes("C:\\f"), "abcdefijk");
  EXPECT_EQ(m.FaultsFired(), 2);
}

}  // namespace
}  // namespace vx
