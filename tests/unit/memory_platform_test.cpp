// The in-memory machine must answer as Windows does: the engine's tests are
// only as good as these answers.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/memory/memory_platform.h"

namespace vx {
namespace {

constexpr std::uint32_t kShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&m);
    m.SetLastError(0xdeadbeef);
  }
  void TearDown() override { SetPlatform(nullptr); }

  // Every name a listing gives, in order.
  std::vector<std::string> List(const std::string& pattern) {
    std::vector<std::string> names;
    FindData data;
    Handle h = m.FindFirstFileA(pattern.c_str(), &data);
    if (h == kInvalidHandle) return names;
    do names.push_back(data.name);
    while (m.FindNextFileA(h, &data));
    EXPECT_EQ(m.GetLastError(), kErrorNoMoreFiles);
    EXPECT_TRUE(m.FindClose(h));
    return names;
  }
  Handle Open(const char* path, std::uint32_t access, std::uint32_t share = kFileShareRead,
              std::uint32_t disposition = kOpenExisting, std::uint32_t attributes = kAttrNormal) {
    return m.CreateFileA(path, access, share, disposition, attributes);
  }
  std::string ReadAll(Handle h) {
    char buffer[256];
    std::uint32_t got = 0;
    EXPECT_TRUE(m.ReadFile(h, buffer, sizeof(buffer), &got));
    return std::string(buffer, got);
  }
  bool Write(Handle h, const std::string& bytes, std::uint32_t* written = nullptr) {
    std::uint32_t count = 0;
    bool ok = m.WriteFile(h, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &count);
    if (written) *written = count;
    return ok;
  }

  MemoryPlatform m;
};

using MemoryPathsTest = MemoryTest;
using MemoryListingTest = MemoryTest;
using MemoryFilesTest = MemoryTest;
using MemoryTimeTest = MemoryTest;
using MemoryProcessTest = MemoryTest;
using MemoryRegistryTest = MemoryTest;
using MemoryFaultTest = MemoryTest;

TEST_F(MemoryPathsTest, DriveTypesAndRoots) {
  for (std::uint32_t type = 0; type <= 6; ++type) m.AddDrive(static_cast<char>('D' + type), type);
  for (std::uint32_t type = 0; type <= 6; ++type) {
    std::string root = std::string(1, static_cast<char>('d' + type)) + ":\\";
    EXPECT_EQ(m.GetDriveTypeA(root.c_str()), type) << root;
  }
  EXPECT_EQ(m.GetDriveTypeA("C:\\"), kDriveFixed);
  EXPECT_EQ(m.GetDriveTypeA("Q:\\"), kDriveNoRootDir);
  EXPECT_EQ(m.GetDriveTypeA("C:\\windows\\"), kDriveNoRootDir);
}

TEST_F(MemoryPathsTest, CaseFoldsOnlyAsciiAndLongPathsAreRefused) {
  m.AddFile("C:\\Dir\\File.TXT", "x");
  EXPECT_TRUE(m.Exists("c:\\DIR\\file.txt"));
  EXPECT_EQ(m.GetFileAttributesA("C:/dir/./sub/../FILE.txt"), kAttrArchive);
  // "\xB0\x61" is one GBK character whose trail byte looks like 'a': not folded.
  m.AddFile("C:\\\xB0\x61.txt", "x");
  EXPECT_FALSE(m.Exists("C:\\\xB0\x41.txt"));

  std::string longPath = "C:\\" + std::string(256, 'a');  // 259 bytes: allowed
  EXPECT_EQ(m.GetFileAttributesA(longPath.c_str()), kInvalidFileAttributes);
  EXPECT_EQ(m.GetLastError(), kErrorFileNotFound);
  longPath += "b";
  EXPECT_EQ(m.CreateFileA(longPath.c_str(), kGenericRead, 0, kCreateAlways, 0), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorFilenameExcedRange);
  FindData data;
  EXPECT_EQ(m.FindFirstFileA((longPath + "\\*").c_str(), &data), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorFilenameExcedRange);
  EXPECT_FALSE(m.DeleteFileA(longPath.c_str()));
  EXPECT_EQ(m.GetLastError(), kErrorFilenameExcedRange);
  // The disk itself holds deeper paths; only the ANSI calls cannot name them.
  m.AddFile(longPath + "\\deep.exe", "MZ");
  EXPECT_TRUE(m.Exists(longPath + "\\deep.exe"));
  EXPECT_EQ(List("C:\\a*"), (std::vector<std::string>{longPath.substr(3)}));
}

TEST_F(MemoryPathsTest, CharUpperBuffMapsOnlyAsciiLetters) {
  char text[] = "ab\xB0\x61z{`\xE9";
  EXPECT_EQ(m.CharUpperBuffA(text, 8), 8u);
  EXPECT_EQ(std::string(text), "AB\xB0\x41Z{`\xE9");
}

TEST_F(MemoryListingTest, RootHasNoDotsSubfolderListsThemFirstThenInsertionOrder) {
  m.AddDrive('D', kDriveRemovable);
  m.AddFile("D:\\zeta.exe", "z");
  m.AddFolder("D:\\alpha");
  m.AddFile("D:\\alpha\\b", "");
  m.AddFile("D:\\alpha\\a.htm", "");
  EXPECT_EQ(List("D:\\*.*"), (std::vector<std::string>{"zeta.exe", "alpha"}));
  EXPECT_EQ(List("D:\\alpha\\*.*"), (std::vector<std::string>{".", "..", "b", "a.htm"}));
  EXPECT_EQ(List("D:\\alpha\\*"), (std::vector<std::string>{".", "..", "b", "a.htm"}));
}

TEST_F(MemoryListingTest, WildcardsAndExactNames) {
  for (const char* name : {"a.htm", "ab.htm", "a.html", "readme", "Quellin_.ini"}) m.AddFile(std::string("C:\\d\\") + name, "");
  EXPECT_EQ(List("C:\\d\\?.htm"), (std::vector<std::string>{"a.htm"}));
  EXPECT_EQ(List("C:\\d\\*.htm"), (std::vector<std::string>{"a.htm", "ab.htm"}));
  EXPECT_EQ(List("C:\\d\\readme.*"), (std::vector<std::string>{"readme"}));
  EXPECT_EQ(List("C:\\d\\QUELLIN_.INI"), (std::vector<std::string>{"Quellin_.ini"}));
  EXPECT_TRUE(List("C:\\d\\Quellin__.ini").empty());
  EXPECT_EQ(m.GetLastError(), kErrorFileNotFound);
  FindData data;
  EXPECT_EQ(m.FindFirstFileA("C:\\missing\\*.*", &data), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryListingTest, FindDataCarriesAttributesTimeAndSplitSize) {
  m.AddSparseFile("C:\\big\\huge.bin", (4ull << 30) + 10, kAttrHidden);
  m.AddFile("C:\\big\\plain.txt", "12345", kAttrNormal, 42);
  FindData data;
  Handle h = m.FindFirstFileA("C:\\big\\h*", &data);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(data.attributes, kAttrHidden);
  EXPECT_EQ(data.sizeHigh, 1u);
  EXPECT_EQ(data.sizeLow, 10u);
  EXPECT_TRUE(m.FindClose(h));
  h = m.FindFirstFileA("C:\\big\\plain.txt", &data);
  EXPECT_EQ(data.attributes, kAttrNormal);
  EXPECT_EQ(data.lastWriteTime, 42u);
  EXPECT_EQ(data.sizeLow, 5u);
  m.FindClose(h);
  h = m.FindFirstFileA("C:\\windows\\*", &data);
  EXPECT_EQ(data.attributes, kAttrDirectory);
  ASSERT_TRUE(m.FindNextFileA(h, &data));
  ASSERT_TRUE(m.FindNextFileA(h, &data));
  EXPECT_STREQ(data.name, "system32");
  EXPECT_EQ(data.attributes, kAttrDirectory);
  EXPECT_EQ(data.sizeLow, 0u);
  EXPECT_FALSE(m.FindNextFileA(h, &data));
  EXPECT_EQ(m.GetLastError(), kErrorNoMoreFiles);
  m.FindClose(h);
}

TEST_F(MemoryListingTest, FolderLinkListsItsTargetAndCanLoop) {
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

TEST_F(MemoryFilesTest, DispositionsCreateOpenAndTruncate) {
  EXPECT_EQ(Open("C:\\n.txt", kGenericRead), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorFileNotFound);
  EXPECT_EQ(Open("C:\\no\\n.txt", kGenericWrite, 0, kCreateAlways), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(Open("C:\\windows", kGenericRead), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);

  Handle h = Open("C:\\n.txt", kGenericWrite, 0, kCreateNew);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_TRUE(Write(h, "hello"));
  EXPECT_TRUE(m.CloseHandle(h));
  EXPECT_EQ(Open("C:\\n.txt", kGenericWrite, 0, kCreateNew), kInvalidHandle);
  h = Open("C:\\n.txt", kGenericRead, 0, kOpenAlways);
  EXPECT_EQ(ReadAll(h), "hello");
  m.CloseHandle(h);
  h = Open("C:\\n.txt", kGenericWrite, 0, kCreateAlways);
  EXPECT_EQ(m.GetLastError(), 183u);  // ERROR_ALREADY_EXISTS, reported on success
  m.CloseHandle(h);
  EXPECT_EQ(m.FileSize("C:\\n.txt"), 0u);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryFilesTest, ShareModesClashBothWays) {
  m.AddFile("C:\\f", "data");
  Handle reader = Open("C:\\f", kGenericRead, kFileShareRead);
  ASSERT_NE(reader, kInvalidHandle);
  EXPECT_EQ(Open("C:\\f", kGenericWrite, kShareAll), kInvalidHandle);  // reader does not share writing
  EXPECT_EQ(m.GetLastError(), kErrorSharingViolation);
  EXPECT_EQ(Open("C:\\f", kGenericRead, 0), kInvalidHandle);  // new open shares nothing with the reader
  EXPECT_EQ(m.GetLastError(), kErrorSharingViolation);
  Handle second = Open("C:\\f", kGenericRead, kFileShareRead);
  EXPECT_NE(second, kInvalidHandle);
  EXPECT_FALSE(m.DeleteFileA("C:\\f"));
  EXPECT_EQ(m.GetLastError(), kErrorSharingViolation);
  m.CloseHandle(second);
  m.CloseHandle(reader);
  EXPECT_TRUE(m.DeleteFileA("C:\\f"));
}

TEST_F(MemoryFilesTest, ProtectedFilesRefusedLikeWindowsAcceptedLikeWineAsRoot) {
  m.AddFile("C:\\ro", "r", kAttrReadOnly);
  m.AddFile("C:\\hid", "h", kAttrHidden | kAttrArchive);
  EXPECT_EQ(Open("C:\\ro", kGenericWrite), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(Open("C:\\hid", kGenericWrite, 0, kCreateAlways, kAttrNormal), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  Handle h = Open("C:\\hid", kGenericWrite, 0, kCreateAlways, kAttrHidden);
  EXPECT_NE(h, kInvalidHandle);
  m.CloseHandle(h);
  EXPECT_FALSE(m.DeleteFileA("C:\\ro"));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);

  m.SetRefusesProtectedFiles(false);
  h = Open("C:\\ro", kGenericWrite, 0, kCreateAlways);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_TRUE(Write(h, "new"));
  m.CloseHandle(h);
  EXPECT_EQ(m.FileBytes("C:\\ro"), "new");
  EXPECT_EQ(m.Attributes("C:\\ro") & kAttrReadOnly, kAttrReadOnly);
}

TEST_F(MemoryFilesTest, RunningImageIsLockedUntilTheProcessEnds) {
  m.AddFile("C:\\windows\\system32\\drivers\\w.exe", "MZ");
  std::uint32_t pid = m.AddProcess("w.exe", "C:\\windows\\system32\\drivers\\w.exe");
  Handle h = Open("C:\\windows\\system32\\drivers\\W.EXE", kGenericRead, kShareAll);
  EXPECT_NE(h, kInvalidHandle);  // reading an image is fine
  m.CloseHandle(h);
  EXPECT_EQ(Open("C:\\windows\\system32\\drivers\\w.exe", kGenericWrite, kShareAll), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorSharingViolation);
  EXPECT_FALSE(m.DeleteFileA("C:\\windows\\system32\\drivers\\w.exe"));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  Handle process = m.OpenProcess(kProcessAllAccessClassic, false, pid);
  ASSERT_TRUE(m.TerminateProcess(process, 0));
  m.CloseHandle(process);
  EXPECT_TRUE(m.DeleteFileA("C:\\windows\\system32\\drivers\\w.exe"));
  m.AddProcess("x.exe", "C:\\windows\\system32\\drivers\\x.exe");  // a running program has its file
  EXPECT_TRUE(m.Exists("C:\\windows\\system32\\drivers\\x.exe"));
}

TEST_F(MemoryFilesTest, ReadWriteSeekAndEndOfFile) {
  m.AddFile("C:\\f", "0123456789", kAttrArchive, MemoryPlatform::kDefaultTime);
  Handle h = Open("C:\\f", kGenericRead | kGenericWrite);
  char buffer[4];
  std::uint32_t got = 0;
  ASSERT_TRUE(m.ReadFile(h, buffer, 4, &got));
  EXPECT_EQ(std::string(buffer, got), "0123");
  EXPECT_EQ(m.SetFilePointer(h, -2, nullptr, kFileEnd), 8u);
  EXPECT_TRUE(Write(h, "abcd"));  // extends
  m.Sleep(1000);
  EXPECT_EQ(m.SetFilePointer(h, 3, nullptr, kFileBegin), 3u);
  EXPECT_TRUE(m.SetEndOfFile(h));
  EXPECT_EQ(m.SetFilePointer(h, -4, nullptr, kFileCurrent), kInvalidSetFilePointer);
  EXPECT_EQ(m.GetLastError(), 131u);  // ERROR_NEGATIVE_SEEK
  std::uint32_t high = 7;
  EXPECT_EQ(m.GetFileSize(h, &high), 3u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(m.FlushFileBuffers(h));
  m.CloseHandle(h);
  EXPECT_EQ(m.FileBytes("C:\\f"), "012");
  EXPECT_EQ(m.LastWriteTime("C:\\f"), m.NowFileTime());
  EXPECT_GT(m.LastWriteTime("C:\\f"), MemoryPlatform::kDefaultTime);

  h = Open("C:\\f", kGenericRead);
  EXPECT_FALSE(Write(h, "x"));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_FALSE(m.SetEndOfFile(h));
  m.CloseHandle(h);
  h = Open("C:\\f", kGenericWrite);
  EXPECT_FALSE(m.ReadFile(h, buffer, 4, &got));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  m.CloseHandle(h);
}

TEST_F(MemoryFilesTest, SparseFilesReadZerosAndSeekPast4GiB) {
  m.AddSparseFile("C:\\s", 3ull << 30);
  Handle h = Open("C:\\s", kGenericRead | kGenericWrite);
  std::uint32_t high = 0;
  EXPECT_EQ(m.GetFileSize(h, &high), 0xC0000000u);
  std::int32_t distanceHigh = 1;
  EXPECT_EQ(m.SetFilePointer(h, 5, &distanceHigh, kFileBegin), 5u);
  EXPECT_EQ(distanceHigh, 1);
  EXPECT_EQ(m.SetFilePointer(h, 0, nullptr, kFileCurrent), kInvalidSetFilePointer);  // needs a high half
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

TEST_F(MemoryFilesTest, DeleteAndAttributes) {
  m.AddFile("C:\\a\\f", "x", kAttrHidden | kAttrSystem);
  EXPECT_FALSE(m.DeleteFileA("C:\\a\\g"));
  EXPECT_EQ(m.GetLastError(), kErrorFileNotFound);
  EXPECT_FALSE(m.DeleteFileA("C:\\b\\g"));
  EXPECT_EQ(m.GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(m.DeleteFileA("C:\\a"));
  EXPECT_EQ(m.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(m.SetFileAttributesA("C:\\a\\f", kAttrNormal));
  EXPECT_EQ(m.GetFileAttributesA("C:\\a\\f"), kAttrNormal);
  EXPECT_TRUE(m.SetFileAttributesA("C:\\a", kAttrHidden | kAttrNormal));
  EXPECT_EQ(m.GetFileAttributesA("C:\\a"), kAttrDirectory | kAttrHidden);
  EXPECT_FALSE(m.SetFileAttributesA("C:\\a\\zz", kAttrNormal));
  EXPECT_EQ(m.GetLastError(), kErrorFileNotFound);
  Handle h = Open("C:\\a\\f", kGenericRead, kFileShareRead | kFileShareDelete);
  EXPECT_TRUE(m.DeleteFileA("C:\\a\\f"));  // shared for deletion: goes, the handle still reads
  EXPECT_EQ(ReadAll(h), "x");
  m.CloseHandle(h);
  EXPECT_TRUE(m.ListNames("C:\\a").empty());
}

TEST_F(MemoryTimeTest, LocalAndDosTimes) {
  FileTime local = 0;
  ASSERT_TRUE(m.FileTimeToLocalFileTime(MemoryPlatform::kDefaultTime, &local));
  EXPECT_EQ(local - MemoryPlatform::kDefaultTime, 8ull * 3600 * 10000000);
  std::uint16_t date = 0, time = 0;
  ASSERT_TRUE(m.FileTimeToDosDateTime(local, &date, &time));
  EXPECT_EQ(date, (41 << 9) | (1 << 5) | 1);
  EXPECT_EQ(time, 8 << 11);
  ASSERT_TRUE(m.FileTimeToDosDateTime(125963055580000000ull, &date, &time));  // 2000-02-29 13:45:58
  EXPECT_EQ(date, (20 << 9) | (2 << 5) | 29);
  EXPECT_EQ(time, (13 << 11) | (45 << 5) | 29);
  EXPECT_TRUE(m.FileTimeToDosDateTime(119600064000000000ull, &date, &time));  // 1980-01-01
  EXPECT_EQ(date, (1 << 5) | 1);
  EXPECT_FALSE(m.FileTimeToDosDateTime(119600064000000000ull - 1, &date, &time));
  EXPECT_EQ(m.GetLastError(), kErrorInvalidParameter);
  EXPECT_TRUE(m.FileTimeToDosDateTime(159992928000000000ull - 1, &date, &time));  // 2107-12-31 23:59:59
  EXPECT_FALSE(m.FileTimeToDosDateTime(159992928000000000ull, &date, &time));     // 2108-01-01
  m.SetTimeZoneOffsetMinutes(-300);
  ASSERT_TRUE(m.FileTimeToLocalFileTime(MemoryPlatform::kDefaultTime, &local));
  EXPECT_EQ(MemoryPlatform::kDefaultTime - local, 5ull * 3600 * 10000000);
}

TEST_F(MemoryTimeTest, SystemDirectoryBufferRules) {
  char buffer[64];
  EXPECT_EQ(m.GetSystemDirectoryA(buffer, sizeof(buffer)), 19u);
  EXPECT_STREQ(buffer, "C:\\windows\\system32");
  EXPECT_EQ(m.GetSystemDirectoryA(buffer, 19), 20u);  // no room for the zero: size needed
  m.SetSystemDirectory("");
  EXPECT_EQ(m.GetSystemDirectoryA(buffer, sizeof(buffer)), 0u);
}

TEST_F(MemoryTimeTest, SleepAdvancesVirtualTimeAndRunsHookUnlocked) {
  std::vector<std::uint64_t> seen;
  m.OnSleep([&](std::uint32_t) { seen.push_back(m.NowMs()); });  // would deadlock if run locked
  std::uint32_t before = m.GetTickCount();
  m.Sleep(10);
  m.Sleep(1);
  EXPECT_EQ(m.GetTickCount() - before, 11u);
  EXPECT_EQ(m.Sleeps(), (std::vector<std::uint32_t>{10, 1}));
  EXPECT_EQ(seen, (std::vector<std::uint64_t>{10, 11}));
  EXPECT_EQ(m.TimeBeginPeriod(1), 0u);
  EXPECT_EQ(m.TimerPeriodDepth(), 1);
  EXPECT_EQ(m.TimeEndPeriod(1), 0u);
  EXPECT_NE(m.TimeEndPeriod(1), 0u);  // nothing left to end
  EXPECT_EQ(m.TimerPeriodDepth(), 0);
}

std::atomic<bool> releaseWorker{false};
std::uint32_t VX_WINAPI SetsErrorThenWaits(void* param) {
  Sys().SetLastError(77);
  while (!releaseWorker) Sys().GetTickCount();
  *static_cast<std::uint32_t*>(param) = Sys().GetLastError();
  return 0;
}

TEST_F(MemoryTimeTest, ThreadsRunForRealWithTheirOwnLastError) {
  releaseWorker = false;
  std::uint32_t workerError = 0, id = 0;
  Handle thread = m.CreateThread(&SetsErrorThenWaits, &workerError, &id);
  ASSERT_NE(thread, kNullHandle);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(m.WaitForSingleObject(thread, 20), kWaitTimeout);
  m.SetLastError(5);
  releaseWorker = true;
  EXPECT_EQ(m.WaitForSingleObject(thread, kInfinite), kWaitObject0);
  EXPECT_EQ(workerError, 77u);
  EXPECT_EQ(m.GetLastError(), 5u);
  EXPECT_EQ(m.OpenHandleCount(), 1);
  EXPECT_TRUE(m.CloseHandle(thread));
  EXPECT_EQ(m.OpenHandleCount(), 0);
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

TEST_F(MemoryTimeTest, ConcurrentWorkersSeeOneConsistentMachine) {
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

TEST_F(MemoryProcessTest, Kernel32ExportsAndSnapshot) {
  std::uint32_t first = m.AddProcess("explorer.exe");
  std::uint32_t second = m.AddProcess("a_very_long_name.exe");
  EXPECT_EQ(second, first + 4);
  Handle kernel = m.GetModuleHandleA("KERNEL32.dll");
  ASSERT_NE(kernel, kNullHandle);
  auto snap = reinterpret_cast<CreateToolhelp32SnapshotFn>(m.GetProcAddress(kernel, "CreateToolhelp32Snapshot"));
  auto next = reinterpret_cast<Process32Fn>(m.GetProcAddress(kernel, "Process32Next"));
  auto firstFn = reinterpret_cast<Process32Fn>(m.GetProcAddress(kernel, "Process32First"));
  ASSERT_TRUE(snap && next && firstFn);
  for (const char* name : {"Heap32ListFirst", "Module32NextW", "Toolhelp32ReadProcessMemory", "IsWow64Process"}) {
    EXPECT_NE(m.GetProcAddress(kernel, name), nullptr) << name;
  }
  EXPECT_EQ(m.GetProcAddress(kernel, "process32first"), nullptr);
  EXPECT_EQ(m.GetLastError(), kErrorProcNotFound);

  Handle s = snap(kTh32csSnapProcess, 0);
  m.AddProcess("late.exe");  // after the snapshot: not in it
  ProcessEntry32 entry;
  entry.dwSize = 200;
  EXPECT_FALSE(firstFn(s, &entry));
  EXPECT_EQ(m.GetLastError(), 24u);  // ERROR_BAD_LENGTH
  entry.dwSize = sizeof(entry);
  ASSERT_TRUE(firstFn(s, &entry));
  EXPECT_EQ(entry.th32ProcessID, first);
  EXPECT_STREQ(entry.szExeFile, "explorer.exe");
  ASSERT_TRUE(next(s, &entry));
  EXPECT_STREQ(entry.szExeFile, "a_very_long_name.exe");
  EXPECT_FALSE(next(s, &entry));
  EXPECT_EQ(m.GetLastError(), kErrorNoMoreFiles);
  EXPECT_TRUE(m.CloseHandle(s));

  m.RemoveExport("Process32Next");
  EXPECT_EQ(m.GetProcAddress(kernel, "Process32Next"), nullptr);
  m.SetKernel32Loaded(false);
  EXPECT_EQ(m.GetModuleHandleA("kernel32.dll"), kNullHandle);
  EXPECT_EQ(m.GetLastError(), kErrorModNotFound);
}

TEST_F(MemoryProcessTest, OpenTerminateAndWow64) {
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
  h = m.OpenProcess(0x0400 /*query only*/, false, plain);
  EXPECT_FALSE(m.TerminateProcess(h, 0));
  m.CloseHandle(h);
  h = m.OpenProcess(kProcessAllAccessClassic, false, plain);
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

TEST_F(MemoryRegistryTest, CreateSetAndWow64View) {
  const char* path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
  Handle key = 0;
  std::uint32_t disposition = 0;
  ASSERT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, path, 0, kKeyWrite, &key, &disposition), 0);
  EXPECT_EQ(disposition, kRegCreatedNewKey);
  std::uint32_t one = 1;
  ASSERT_EQ(m.RegSetValueExA(key, "CheckedValue", kRegDword, &one, 4), 0);
  std::uint32_t two = 2;
  ASSERT_EQ(m.RegSetValueExA(key, "checkedvalue", kRegBinary, &two, 4), 0);  // replaces value and type
  EXPECT_EQ(m.RegCloseKey(key), 0);
  auto value = m.RegValue(kHkeyLocalMachine, "software\\microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\"
                                             "Folder\\Hidden\\SHOWALL", "CheckedValue");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, kRegBinary);
  EXPECT_EQ(value->data, std::string("\2\0\0\0", 4));
  EXPECT_TRUE(m.RegKeyExists(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows"));
  ASSERT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, path, 0, kKeyWrite, &key, &disposition), 0);
  EXPECT_EQ(disposition, kRegOpenedExistingKey);
  m.RegCloseKey(key);

  m.SetWow64(true);
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
  EXPECT_EQ(m.RegCreateKeyExA(kHkeyLocalMachine, "SOFTWARE\\X", 0, kKeyWrite, &key, nullptr), 5);
  EXPECT_EQ(m.RegCloseKey(0x1234), static_cast<std::int32_t>(kErrorInvalidHandle));
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

TEST_F(MemoryFaultTest, ToolhelpFaultsApplyToTheBoundFunctions) {
  auto snap = reinterpret_cast<CreateToolhelp32SnapshotFn>(
      m.GetProcAddress(m.GetModuleHandleA("kernel32.dll"), "CreateToolhelp32Snapshot"));
  m.FailCall(Op::CreateToolhelp32Snapshot, 1, kErrorNotEnoughMemory);
  EXPECT_EQ(snap(kTh32csSnapProcess, 0), kInvalidHandle);
  EXPECT_EQ(m.GetLastError(), kErrorNotEnoughMemory);
  EXPECT_EQ(m.CallCount(Op::CreateToolhelp32Snapshot), 1);
  EXPECT_EQ(m.OpenHandleCount(), 0);
}

TEST_F(MemoryFaultTest, TraceLinesNameTheCallAndItsArgument) {
  m.AddFile("C:\\x", "");
  m.SetTracing(true);
  Handle h = Open("C:\\x", kGenericWrite, 0);
  Write(h, std::string(123, 'z'));
  m.CloseHandle(h);
  m.SetFileAttributesA("C:\\x", kAttrNormal);
  m.DeleteFileA("C:\\x");
  m.Sleep(10);
  m.SetTracing(false);
  m.Sleep(1);
  EXPECT_EQ(m.Trace(), (std::vector<std::string>{"CreateFileA C:\\x", "WriteFile 123", "CloseHandle",
                                                 "SetFileAttributesA C:\\x 128", "DeleteFileA C:\\x", "Sleep 10"}));
  m.ClearTrace();
  EXPECT_TRUE(m.Trace().empty());
}

}  // namespace
}  // namespace vx
