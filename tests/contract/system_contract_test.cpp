// What Windows answers to the other calls the engine makes: file times, the
// system folder, drive types, the registry value writer's calls, the process
// sweep's run-time ToolHelp binding, the scan worker's thread, the walker's
// clock, and upper-casing of UTF-8 text.
#include <atomic>
#include <cstring>
#include <string>

#include "tests/contract/contract_fixture.h"
#include "engine/toolhelp_binding.h"
#include "util/fun_unit.h"

namespace vxcontract {
namespace {

using ContractTime = Contract;
using ContractSystem = Contract;
using ContractRegistry = Contract;
using ContractProcesses = Contract;
using ContractThreads = Contract;
using ContractText = Contract;

using vx::Handle;

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return vx::UpperCaseAscii(a) == vx::UpperCaseAscii(b);
}

// ---- Times ------------------------------------------------------------------------------

TEST_F(ContractTime, DosDateAndTimeHoldTheYears1980To2107) {
  struct Case {
    vx::FileTime time;
    bool converts;
    int year, month, day, hour, minute, halfSeconds;
  };
  const Case cases[] = {
      {UtcTime(2000, 1, 2, 12, 34, 56), true, 2000, 1, 2, 12, 34, 28},
      {UtcTime(2000, 2, 29, 13, 45, 59), true, 2000, 2, 29, 13, 45, 29},  // odd seconds round down
      {UtcTime(1980, 1, 1), true, 1980, 1, 1, 0, 0, 0},
      {UtcTime(2107, 12, 31, 23, 59, 58), true, 2107, 12, 31, 23, 59, 29},
      {UtcTime(1979, 12, 31, 23, 59, 58), false, 0, 0, 0, 0, 0, 0},
      {UtcTime(2108, 1, 1), false, 0, 0, 0, 0, 0, 0},
      {UtcTime(2110, 6, 1, 12), false, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint16_t date = 0, time = 0;
    std::uint32_t error =
        ErrorOf([&] { EXPECT_EQ(Os().FileTimeToDosDateTime(c.time, &date, &time), c.converts) << c.time; });
    if (!c.converts) {
      EXPECT_EQ(error, vx::kErrorInvalidParameter) << c.time;
      continue;
    }
    EXPECT_EQ(date, ((c.year - 1980) << 9) | (c.month << 5) | c.day) << c.time;
    EXPECT_EQ(time, (c.hour << 11) | (c.minute << 5) | c.halfSeconds) << c.time;
  }
}

TEST_F(ContractTime, LocalTimeIsOneShiftForEveryDate) {
  // The shift in force now applies to every date, winter or summer.
  vx::FileTime winter = UtcTime(2010, 1, 15), summer = UtcTime(2010, 7, 15), winterLocal = 0, summerLocal = 0;
  ASSERT_TRUE(Os().FileTimeToLocalFileTime(winter, &winterLocal));
  ASSERT_TRUE(Os().FileTimeToLocalFileTime(summer, &summerLocal));
  auto shift = static_cast<std::int64_t>(winterLocal - winter);
  EXPECT_EQ(static_cast<std::int64_t>(summerLocal - summer), shift);
  constexpr std::int64_t kQuarterHour = 15ll * 60 * 10000000;
  EXPECT_EQ(shift % kQuarterHour, 0);
  EXPECT_LE(shift < 0 ? -shift : shift, 14 * 4 * kQuarterHour);
}

// ---- System folder and drives -----------------------------------------------------------

TEST_F(ContractSystem, SystemFolderAndItsBufferRules) {
  char buffer[vx::kMaxPath];
  std::memset(buffer, 'x', sizeof buffer);
  std::uint32_t n = Os().GetSystemDirectoryA(buffer, sizeof buffer);
  ASSERT_GT(n, 3u);
  ASSERT_LT(n, sizeof buffer);
  EXPECT_EQ(std::strlen(buffer), n);
  EXPECT_TRUE(SameIgnoringAsciiCase(buffer, "C:\\windows\\system32")) << buffer;
  EXPECT_EQ(vx::GetSystemFolderPath(), std::string(buffer) + "\\");  // FunUnit's, with one backslash
  std::uint32_t drivers = Os().GetFileAttributesA((std::string(buffer) + "\\drivers").c_str());
  ASSERT_NE(drivers, vx::kInvalidFileAttributes);
  EXPECT_TRUE(drivers & vx::kAttrDirectory);

  // Too small, even by only the zero byte: the size needed, zero included.
  char small[vx::kMaxPath];
  EXPECT_EQ(Os().GetSystemDirectoryA(small, 4), n + 1);
  EXPECT_EQ(Os().GetSystemDirectoryA(small, n), n + 1);
  EXPECT_EQ(Os().GetSystemDirectoryA(small, n + 1), n);
  EXPECT_STREQ(small, buffer);
}

TEST_F(ContractSystem, DriveTypesOfRoots) {
  struct Case {
    const char* root;
    std::uint32_t type;
  };
  const Case cases[] = {
      {"C:\\", vx::kDriveFixed}, {"c:\\", vx::kDriveFixed}, {"C:", vx::kDriveFixed},
      {"C:/", vx::kDriveFixed},   {"Q:\\", vx::kDriveNoRootDir}, {"C", vx::kDriveNoRootDir},
      {"", vx::kDriveNoRootDir},
  };
  for (const Case& c : cases) EXPECT_EQ(Os().GetDriveTypeA(c.root), c.type) << c.root;
}

// ---- Registry ---------------------------------------------------------------------------

TEST_F(ContractRegistry, CreateSetReplaceAndCloseUnderBothRoots) {
  const std::string path = bed->ScratchKey() + "\\Folder\\Hidden\\SHOWALL";
  for (Handle root : {vx::kHkeyCurrentUser, vx::kHkeyLocalMachine}) {
    // Made, then opened again over the existing key: the value replaced under any case of its name.
    std::uint32_t value = 0;
    for (auto [made, name] : {std::make_pair(vx::kRegCreatedNewKey, "CheckedValue"),
                              {vx::kRegOpenedExistingKey, "checkedvalue"}}) {
      Handle key = vx::kNullHandle;
      std::uint32_t disposition = 0, stored = 0;
      ++value;
      ASSERT_EQ(Os().RegCreateKeyExA(root, path.c_str(), vx::kRegOptionNonVolatile, vx::kKeyWrite, &key, &disposition),
                0);
      EXPECT_NE(key, vx::kNullHandle);
      EXPECT_EQ(disposition, made);
      EXPECT_EQ(Os().RegSetValueExA(key, name, vx::kRegDword, &value, sizeof value), 0);
      EXPECT_EQ(Os().RegCloseKey(key), 0);
      ASSERT_TRUE(bed->ReadDword(root, path, "CheckedValue", &stored));
      EXPECT_EQ(stored, value);
      // A closed key is refused.
      EXPECT_EQ(Os().RegSetValueExA(key, "CheckedValue", vx::kRegDword, &value, sizeof value),
                static_cast<std::int32_t>(vx::kErrorInvalidHandle));
    }
  }
}

TEST_F(ContractRegistry, KeyPathsAccessAndFailuresComeBackAsResults) {
  const Handle bogus = 0x12345678u;
  Handle key = vx::kNullHandle;
  std::uint32_t disposition = 0;
  EXPECT_EQ(Os().RegCreateKeyExA(bogus, "Software", 0, vx::kKeyWrite, &key, &disposition),
            static_cast<std::int32_t>(vx::kErrorInvalidHandle));
  EXPECT_EQ(Os().RegCloseKey(bogus), static_cast<std::int32_t>(vx::kErrorInvalidHandle));
  EXPECT_EQ(Os().RegCloseKey(vx::kHkeyLocalMachine), 0);  // a root key closes as nothing

  const std::string path = bed->ScratchKey() + "\\Read";
  EXPECT_EQ(Os().RegCreateKeyExA(vx::kHkeyCurrentUser, ("\\" + path).c_str(), 0, vx::kKeyWrite, &key, nullptr),
            static_cast<std::int32_t>(vx::kErrorBadPathname));
  for (const std::string& spelling : {std::string(""), path, path + "\\"}) {
    key = vx::kNullHandle;
    EXPECT_EQ(Os().RegCreateKeyExA(vx::kHkeyCurrentUser, spelling.c_str(), 0, vx::kKeyWrite, &key, nullptr), 0)
        << spelling;
    EXPECT_NE(key, vx::kNullHandle) << spelling;
    EXPECT_EQ(Os().RegCloseKey(key), 0) << spelling;
  }
  // A key opened for reading takes no value.
  ASSERT_EQ(Os().RegCreateKeyExA(vx::kHkeyCurrentUser, path.c_str(), 0, vx::kKeyRead, &key, nullptr), 0);
  std::uint32_t one = 1;
  EXPECT_EQ(Os().RegSetValueExA(key, "CheckedValue", vx::kRegDword, &one, sizeof one),
            static_cast<std::int32_t>(vx::kErrorAccessDenied));
  EXPECT_EQ(Os().RegCloseKey(key), 0);
  std::uint32_t stored = 0;
  EXPECT_FALSE(bed->ReadDword(vx::kHkeyCurrentUser, path, "CheckedValue", &stored));
}

// ---- Processes and ToolHelp -------------------------------------------------------------

// kernel32 as the sweep binds it at run time.
class ContractToolHelp : public Contract {
 protected:
  void SetUp() override {
    Contract::SetUp();
    kernel = Os().GetModuleHandleA("kernel32.dll");
    ASSERT_NE(kernel, vx::kNullHandle);
  }
  template <typename Fn>
  Fn Bind(const char* name) {
    return reinterpret_cast<Fn>(Os().GetProcAddress(kernel, name));
  }
  Handle kernel = vx::kNullHandle;
};

TEST_F(ContractToolHelp, Kernel32AndItsExportsByExactName) {
  EXPECT_EQ(Os().GetModuleHandleA("KERNEL32.DLL"), kernel);
  for (const char* name : {"CreateToolhelp32Snapshot", "Heap32ListFirst", "Heap32ListNext", "Heap32First",
                           "Heap32Next", "Toolhelp32ReadProcessMemory", "Process32First", "Process32Next",
                           "Process32FirstW", "Process32NextW", "Thread32First", "Thread32Next", "Module32First",
                           "Module32Next", "Module32FirstW", "Module32NextW", "IsWow64Process"}) {
    EXPECT_NE(Os().GetProcAddress(kernel, name), nullptr) << name;
  }
  for (const char* absent : {"process32first", "Process32FirstNoSuchName"}) {
    EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Os().GetProcAddress(kernel, absent), nullptr); }), vx::kErrorProcNotFound)
        << absent;
  }
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Os().GetModuleHandleA("vx_no_such_module.dll"), vx::kNullHandle); }),
            vx::kErrorModNotFound);

  // The current-process pseudo handle has the value of an invalid handle.
  EXPECT_EQ(Os().GetCurrentProcess(), vx::kCurrentProcess);
  EXPECT_EQ(vx::kCurrentProcess, vx::kInvalidHandle);
  auto isWow64 = Bind<vx::IsWow64ProcessFn>("IsWow64Process");
  ASSERT_NE(isWow64, nullptr);
  std::int32_t wow64 = -1;
  EXPECT_NE(isWow64(Os().GetCurrentProcess(), &wow64), 0);
  EXPECT_TRUE(wow64 == 0 || wow64 == 1) << wow64;
}

TEST_F(ContractToolHelp, SnapshotListsRunningProgramsByBareImageName) {
  auto snapshot = Bind<vx::CreateToolhelp32SnapshotFn>("CreateToolhelp32Snapshot");
  auto first = Bind<vx::Process32Fn>("Process32FirstW");
  auto next = Bind<vx::Process32Fn>("Process32NextW");
  ASSERT_TRUE(snapshot && first && next);
  Handle s = snapshot(vx::kTh32csSnapProcess, 0);
  ASSERT_NE(s, vx::kInvalidHandle);
  ASSERT_NE(s, vx::kNullHandle);

  vx::ProcessEntry32 entry = {}, program = {};
  entry.dwSize = sizeof entry;
  EXPECT_EQ(ErrorOf([&] {
              for (bool more = first(s, &entry) != 0; more; more = next(s, &entry) != 0) {
                if (entry.th32ProcessID == bed->ProgramId()) program = entry;
              }
            }),
            vx::kErrorNoMoreFiles);
  ASSERT_EQ(program.th32ProcessID, bed->ProgramId());
  const std::string& path = bed->ProgramPath();
  std::string name;
  ASSERT_TRUE(vx::ImageNameOf(program, &name));
  EXPECT_TRUE(SameIgnoringAsciiCase(name, path.substr(path.rfind('\\') + 1))) << name;
  EXPECT_EQ(name.find('\\'), std::string::npos);  // a bare name, no folder
  EXPECT_GE(program.cntThreads, 1u);

  // A record shorter than the program's own layout is refused, a longer one filled.
  struct {
    vx::ProcessEntry32 entry;
    char more[16];
  } longer = {};
  longer.entry.dwSize = sizeof longer;
  EXPECT_NE(first(s, &longer.entry), 0);
  entry.dwSize = sizeof entry - 4;
  EXPECT_EQ(first(s, &entry), 0);
  EXPECT_TRUE(Os().CloseHandle(s));
}

TEST_F(ContractProcesses, ARunningProgramsFileReadsButNeitherWritesNorDeletes) {
  const std::string& path = bed->ProgramPath();
  const std::uint32_t shareAll = vx::kFileShareRead | vx::kFileShareWrite | vx::kFileShareDelete;
  EXPECT_TRUE(Os().CloseHandle(Opened(path, vx::kGenericRead, shareAll)));
  EXPECT_EQ(OpenError(path, vx::kGenericWrite, shareAll), vx::kErrorSharingViolation);
  EXPECT_EQ(DeleteError(path), vx::kErrorAccessDenied);
}

TEST_F(ContractProcesses, OpenTerminateAndWaitFailures) {
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Os().OpenProcess(vx::kProcessAllAccessClassic, false, 0), vx::kNullHandle); }),
            vx::kErrorInvalidParameter);
  EXPECT_EQ(ErrorOf([&] { EXPECT_FALSE(Os().TerminateProcess(vx::kNullHandle, 1)); }), vx::kErrorInvalidHandle);
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Os().WaitForSingleObject(vx::kNullHandle, 0), vx::kWaitFailed); }),
            vx::kErrorInvalidHandle);
}

// ---- Threads and the clock --------------------------------------------------------------

constexpr std::uint32_t kThreadsOwnError = 77;  // any value but the marker

struct Handshake {
  std::atomic<bool> release{false};
  std::uint32_t errorSeen = 0;
};

std::uint32_t VX_WINAPI SetsErrorThenWaits(void* param) {
  auto* handshake = static_cast<Handshake*>(param);
  vx::Sys().SetLastError(kThreadsOwnError);
  while (!handshake->release) vx::Sys().Sleep(1);
  handshake->errorSeen = vx::Sys().GetLastError();
  return 0;
}

TEST_F(ContractThreads, AThreadRunsWithItsOwnLastError) {
  Handshake handshake;
  std::uint32_t id = 0;
  Handle thread = Os().CreateThread(&SetsErrorThenWaits, &handshake, &id);
  ASSERT_NE(thread, vx::kNullHandle);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(Os().WaitForSingleObject(thread, 20), vx::kWaitTimeout);
  Os().SetLastError(kErrorMarker);
  handshake.release = true;
  EXPECT_EQ(Os().WaitForSingleObject(thread, 10000), vx::kWaitObject0);
  EXPECT_EQ(handshake.errorSeen, kThreadsOwnError);
  EXPECT_EQ(Os().GetLastError(), kErrorMarker);
  EXPECT_EQ(Os().WaitForSingleObject(thread, 0), vx::kWaitObject0);  // an ended thread stays signalled
  EXPECT_TRUE(Os().CloseHandle(thread));
}

TEST_F(ContractThreads, SleepTickCountAndTimerPeriod) {
  std::uint32_t before = Os().GetTickCount();
  Os().Sleep(100);
  std::uint32_t slept = Os().GetTickCount() - before;
  EXPECT_GE(slept, 80u);  // tick granularity: up to ~16 ms early
  EXPECT_LT(slept, 2000u);

  EXPECT_EQ(Os().TimeBeginPeriod(1), vx::kTimerNoError);
  // The walker pauses 1 ms before each marker deletion; with a 1 ms period a
  // hundred of them must not take a second.
  before = Os().GetTickCount();
  for (int i = 0; i < 100; ++i) Os().Sleep(1);
  EXPECT_LT(Os().GetTickCount() - before, 1000u);
  EXPECT_EQ(Os().TimeEndPeriod(1), vx::kTimerNoError);
  EXPECT_EQ(Os().TimeBeginPeriod(0), vx::kTimerNoCando);
}

// ---- Text -------------------------------------------------------------------------------

TEST_F(ContractText, UpperCasingMapsUtf8TextThroughUtf16) {
  struct Case {
    std::string text, upper;
  };
  const Case cases[] = {
      {"autorun.inf 病毒 setup.exe", "AUTORUN.INF 病毒 SETUP.EXE"},
      {"abz{`@[~", "ABZ{`@[~"},
      {"青岚.htm", "青岚.HTM"},
      // Small letters beyond ASCII have their capitals: full-width Latin, Greek
      // with accents, Cyrillic, Roman numerals, pinyin; Korean and emoji have none.
      {"ａｚ｀ αωά ёя ⅰⅹ āǚ", "ＡＺ｀ ΑΩΆ ЁЯ ⅠⅩ ĀǙ"},
      {"한국 ελλάδα 😀.exe", "한국 ΕΛΛΆΔΑ 😀.EXE"},
      // Capitals of another length in UTF-8: two bytes become three, three two.
      {"ɐɑⱥ.htm", "ⱯⱭȺ.HTM"},
  };
  for (const Case& c : cases) {
    std::string upper(c.upper.size(), '\0');
    auto length = static_cast<std::uint32_t>(c.text.size()), size = static_cast<std::uint32_t>(upper.size());
    EXPECT_EQ(Os().CharUpperBuffA(c.text.data(), length, &upper[0], size), c.upper.size()) << c.text;
    EXPECT_EQ(upper, c.upper);
    EXPECT_EQ(vx::UpperCaseText(c.text), c.upper);  // FunUnit's, over the same call
  }
  // Only the bytes counted are read; a buffer too small gets nothing but the size needed.
  char part[] = "abcd";
  EXPECT_EQ(Os().CharUpperBuffA("xyzw", 2, part, 4), 2u);
  EXPECT_STREQ(part, "XYcd");
  EXPECT_EQ(Os().CharUpperBuffA("\xC3\xA0z", 3, part, 2), 3u);
  EXPECT_STREQ(part, "XYcd");
  // Bytes that are no UTF-8 have no mapping; FunUnit then folds the ASCII letters only.
  EXPECT_EQ(ErrorOf([&] { EXPECT_EQ(Os().CharUpperBuffA("a\xB0\x61", 3, part, 4), 0u); }),
            vx::kErrorNoUnicodeTranslation);
  EXPECT_EQ(vx::UpperCaseText("a\xB0\x61"), "A\xB0\x41");
}

}  // namespace
}  // namespace vxcontract
