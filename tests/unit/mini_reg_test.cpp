#include "tests/unit/engine_fixture.h"
#include "util/mini_reg.h"

namespace vx {
namespace {

const char kKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL";
const std::string kPath = std::string(kKey) + "\\CheckedValue";

class MiniRegTest : public EngineTest {};

TEST(LastCharPosTest, FindsTheLastOccurrenceOneBased) {
  for (auto c : {std::make_pair("a\\b\\c", 4u), {"\\a", 1u}, {"abc", 0u}, {"", 0u}}) {
    EXPECT_EQ(LastCharPos('\\', c.first), c.second) << c.first;
  }
}

// The key is made when missing, and a value of another type is replaced.
TEST_F(MiniRegTest, StoresTheDwordLittleEndianWhateverWasThere) {
  EXPECT_FALSE(machine.RegKeyExists(kHkeyLocalMachine, kKey));
  for (auto c : {std::make_pair(1u, std::string("\x01\x00\x00\x00", 4)), {0x01020304u, "\x04\x03\x02\x01"}}) {
    EXPECT_TRUE(WriteRegDword(kHkeyLocalMachine, kPath, c.first));
    auto stored = machine.RegValue(kHkeyLocalMachine, kKey, "CheckedValue");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(stored->type, kRegDword);
    EXPECT_EQ(stored->data, c.second);
    // The next write finds a text value there.
    machine.SetRegValue(kHkeyLocalMachine, kKey, "CheckedValue", RegValueData{kRegSz, std::string("0\0", 2)});
  }
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(MiniRegTest, OnlyTheLastBackslashSplitsKeyAndValue) {
  EXPECT_TRUE(WriteRegDword(kHkeyCurrentUser, "A\\B\\C\\Name", 7));
  EXPECT_TRUE(machine.RegValue(kHkeyCurrentUser, "A\\B\\C", "Name").has_value());
  // A trailing backslash names the key's default value.
  EXPECT_TRUE(WriteRegDword(kHkeyCurrentUser, "A\\B\\", 9));
  EXPECT_TRUE(machine.RegValue(kHkeyCurrentUser, "A\\B", "").has_value());
  // Without a backslash the registry is not touched at all.
  machine.ResetCallCounts();
  EXPECT_FALSE(WriteRegDword(kHkeyCurrentUser, "Name", 1));
  EXPECT_FALSE(WriteRegDword(kHkeyCurrentUser, "", 1));
  EXPECT_EQ(machine.CallCount(Op::RegCreateKeyExA), 0);
}

TEST_F(MiniRegTest, FailuresAreReportedAndLeaveNoKeyOpen) {
  machine.SetRegistryWritable(false);
  EXPECT_FALSE(WriteRegDword(kHkeyLocalMachine, kPath, 1));
  machine.SetRegistryWritable(true);
  machine.FailCall(Op::RegSetValueExA, 1, kErrorAccessDenied);
  EXPECT_FALSE(WriteRegDword(kHkeyLocalMachine, kPath, 1));
  EXPECT_EQ(machine.CallCount(Op::RegCloseKey), 1);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

// On 64-bit Windows the value must land in the 64-bit view, where the file
// manager reads it; on 32-bit Windows the access stays plain KEY_WRITE.
TEST_F(MiniRegTest, UnderWow64TheValueLandsInTheView64BitProgramsRead) {
  EXPECT_TRUE(WriteRegDword(kHkeyLocalMachine, kPath, 1));
  EXPECT_EQ(machine.RegAccessSeen().back(), kKeyWrite);

  MemoryPlatform wow64;
  wow64.SetWow64(true);
  SetPlatform(&wow64);
  EXPECT_TRUE(WriteRegDword(kHkeyLocalMachine, kPath, 1));
  EXPECT_EQ(wow64.RegAccessSeen().back(), kKeyWrite | kKeyWow64_64Key);
  EXPECT_TRUE(wow64.RegValue(kHkeyLocalMachine, kKey, "CheckedValue").has_value());
  EXPECT_FALSE(wow64.RegKeyExists(kHkeyLocalMachine, "SOFTWARE\\WOW6432Node\\Microsoft"));

  // An old system without IsWow64Process, or one that cannot name kernel32, is taken for 32-bit.
  for (bool noKernel : {false, true}) {
    MemoryPlatform old;
    old.SetWow64(true);
    old.RemoveExport("IsWow64Process");
    if (noKernel) old.SetKernel32Loaded(false);
    SetPlatform(&old);
    EXPECT_TRUE(WriteRegDword(kHkeyLocalMachine, kPath, 1));
    EXPECT_EQ(old.RegAccessSeen().back(), kKeyWrite) << noKernel;
  }
  SetPlatform(&machine);
}

}  // namespace
}  // namespace vx
