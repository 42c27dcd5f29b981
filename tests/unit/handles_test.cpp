#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "util/handles.h"
#include "engine/toolhelp_binding.h"
#include "tests/test_helpers.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

class HandlesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    machine.AddFile("C:\\a.htm", "page");
    machine.AddProcess("notepad.exe");
  }
};

// The owner's promise for one kind of handle: Close() asks the kind's own
// call once and says what it answered; a failed close gives the value up all
// the same, never to be tried again; what is left open closes with its owner.
template <HandleKind kKind>
void CheckOwner(MemoryPlatform& machine, const std::function<Handle()>& open, Op close) {
  for (bool fails : {false, true}) {
    {
      HandleOwner<kKind> owner(open());
      ASSERT_TRUE(owner.IsOpen());
      machine.ResetCallCounts();
      if (fails) machine.FailCall(close, 1, kErrorInvalidHandle);
      EXPECT_EQ(owner.Close(), !fails) << OpName(close);
      EXPECT_FALSE(owner.IsOpen());
      EXPECT_TRUE(owner.Close());
    }
    EXPECT_EQ(machine.CallCount(close), 1) << OpName(close);
    EXPECT_EQ(machine.CallCount(Op::Count), 1) << OpName(close);
  }
  const int before = machine.OpenHandleCount();
  { HandleOwner<kKind> owner(open()); }
  EXPECT_EQ(machine.OpenHandleCount(), before) << OpName(close);
}

TEST_F(HandlesTest, EachKindIsClosedOnceByItsOwnCallWhateverTheResult) {
  std::uint32_t pid = machine.AddProcess("calc.exe");
  auto file = [&] { return Sys().CreateFileA("C:\\a.htm", kGenericRead, kFileShareRead, kOpenExisting, 0); };
  auto search = [&] {
    FindData data;
    return Sys().FindFirstFileA("C:\\*.*", &data);
  };
  auto process = [&] { return Sys().OpenProcess(kProcessAllAccessClassic, false, pid); };
  auto snapshot = [&] { return CreateToolhelp32Snapshot(kTh32csSnapProcess, 0); };
  auto key = [&] {
    Handle k = kNullHandle;
    std::uint32_t disposition = 0;
    Sys().RegCreateKeyExA(kHkeyCurrentUser, "Software\\Vx", 0, kKeyWrite, &k, &disposition);
    return k;
  };
  CheckOwner<HandleKind::kObject>(machine, file, Op::CloseHandle);
  CheckOwner<HandleKind::kSearch>(machine, search, Op::FindClose);
  CheckOwner<HandleKind::kObject>(machine, process, Op::CloseHandle);
  CheckOwner<HandleKind::kObject>(machine, snapshot, Op::CloseHandle);
  CheckOwner<HandleKind::kRegistryKey>(machine, key, Op::RegCloseKey);
}

TEST_F(HandlesTest, FailureMarksHoldNothingAndKeepTheirValue) {
  machine.ResetCallCounts();
  for (Handle mark : {kNullHandle, kInvalidHandle}) {
    ObjectHandle owner(mark);
    EXPECT_FALSE(owner.IsOpen());
    EXPECT_EQ(owner.Get(), mark);  // passed on as the system gave it
    EXPECT_TRUE(owner.Close());
    SearchHandle search(mark);
    RegistryKey key(mark);
  }
  EXPECT_EQ(machine.CallCount(Op::Count), 0);
}

TEST_F(HandlesTest, AMovedHandleHasOneOwner) {
  FileHandle first = OpenForReading("C:\\a.htm");
  Handle raw = first.Get();
  FileHandle second(std::move(first));
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Get(), raw);
  FileHandle third = OpenForReading("C:\\a.htm");
  machine.ResetCallCounts();
  third = std::move(second);  // the handle third held is closed first
  EXPECT_EQ(machine.CallCount(Op::CloseHandle), 1);
  EXPECT_EQ(third.Get(), raw);
  EXPECT_EQ(machine.OpenHandleCount(), 1);
  EXPECT_TRUE(third.Close());
  EXPECT_TRUE(first.Close());
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(machine.CallCount(Op::CloseHandle), 2);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(HandlesTest, OpensSayHowTheFileIsShared) {
  {
    FileHandle reader = OpenForReading("C:\\a.htm");
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_TRUE(OpenForReading("C:\\a.htm").IsOpen());  // readers share
    Sys().SetLastError(vxtest::kErrorMarker);
    EXPECT_FALSE(OpenExclusively("C:\\a.htm").IsOpen());
    EXPECT_EQ(Sys().GetLastError(), kErrorSharingViolation);
  }
  {
    FileHandle rewrite = OpenExclusively("C:\\a.htm");
    ASSERT_TRUE(rewrite.IsOpen());
    std::uint32_t written = 0;
    EXPECT_TRUE(Sys().WriteFile(rewrite.Get(), "x", 1, &written));  // open for writing too
    EXPECT_FALSE(OpenForReading("C:\\a.htm").IsOpen());             // nobody else gets in
    EXPECT_EQ(Sys().GetLastError(), kErrorSharingViolation);
  }
  // A missing file: nothing held, and the last error still tells why.
  for (auto open : {OpenForReading, OpenExclusively}) {
    Sys().SetLastError(vxtest::kErrorMarker);
    EXPECT_FALSE(open("C:\\missing.htm").IsOpen());
    EXPECT_EQ(Sys().GetLastError(), kErrorFileNotFound);
  }
  FindData entry;
  EXPECT_FALSE(FindFirstEntry("C:\\*.none", &entry).IsOpen());
  SearchHandle found = FindFirstEntry("C:\\a.*", &entry);
  EXPECT_TRUE(found.IsOpen());
  EXPECT_STREQ(entry.name, "a.htm");
  found.Close();
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace vx
