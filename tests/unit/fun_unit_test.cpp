#include <gtest/gtest.h>

#include <utility>

#include "tests/test_helpers.h"
#include "tests/unit/engine_fixture.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

TEST(FunUnitText, UpperCaseAsciiFoldsOnlyLatinLetters) {
  EXPECT_EQ(UpperCaseAscii("qadrelv_01.exe"), "QADRELV_01.EXE");
  // Letters outside ASCII stay as they are, and so do bytes that are no UTF-8.
  EXPECT_EQ(UpperCaseAscii("éａx\xff"), "éａX\xff");
  EXPECT_EQ(UpperCaseAscii(""), "");
}

TEST(FunUnitText, PathsFitByTheirUtf16Units) {
  auto path = [](std::size_t count, const std::string& unit) {
    std::string p = "C:\\";
    for (std::size_t i = 0; i < count; ++i) p += unit;
    return p;
  };
  // 259 units fit, 260 do not, a character beyond the BMP counting two; bytes that are no UTF-8 never fit.
  const std::pair<std::string, bool> cases[] = {
      {path(256, "a"), true},  {path(257, "a"), false}, {path(256, "啊"), true},
      {path(257, "啊"), false}, {path(128, "😀"), true}, {path(128, "😀") + "a", false},
      {"C:\\\xb0\x61", false}, {"C:\\\xed\xa0\x80", false}, {"C:\\\xc0\xaf", false},
  };
  for (const auto& c : cases) EXPECT_EQ(FitsPath(c.first), c.second) << c.first.size();
}

TEST(FunUnitText, NameExtensionIsTheTextAfterTheLastDot) {
  const std::pair<const char*, const char*> cases[] = {
      {"index.htm", "htm"}, {"a.exe.bak", "bak"}, {"exe", ""},
      {"a.", ""},           {".htaccess", "htaccess"}, {"Setup.eXe", "eXe"}};
  for (const auto& c : cases) EXPECT_EQ(GetNameExtension(c.first), c.second) << c.first;
}

TEST(FunUnitText, ParseIntegerReadsDecimalHexAndStopsAtTheFirstMisfit) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"", 0}, {"12", 12}, {"003", 3}, {"   42", 42}, {"-17", -17}, {"-5", -5}, {"+5", 5}, {"$1F", 31}, {"0x10", 16},
      {"X10", 16}, {"010", 10},  // a leading zero is no "0x"
      // Hexadecimal digits in either case, after every prefix.
      {"$1a", 26}, {"0x1A", 26}, {"0X1A", 26}, {"xaf", 0xaf}, {"$FA", 0xfa}, {"-$Ff", -0xff}, {"abc", 0},
      // Malformed text gives the digits before the misfit, without the sign.
      {"12ab", 12}, {"$1g", 1}, {"0x1G", 1}, {"$1@", 1}, {"-12 ", 12}, {"   ", 0}, {"-", 0}, {"0x", 0}, {"\t5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.first), c.second) << c.first;
}

TEST(FunUnitText, FormatIntegerGivesPlainDecimals) {
  for (auto c : {std::make_pair(0, "0"), {-1, "-1"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"}}) {
    EXPECT_EQ(FormatInteger(c.first), c.second);
  }
}

class FunUnitFiles : public EngineTest {};

TEST_F(FunUnitFiles, UpperCaseTextAsksNothingOfTheSystemForEmptyText) {
  machine.ResetCallCounts();
  EXPECT_EQ(UpperCaseText(""), "");
  EXPECT_EQ(machine.CallCount(Op::Count), 0);
}

// What the contract cannot set: the time zone, failing conversions, and
// system folders of any length. The rest of these routines is in the contract.
TEST_F(FunUnitFiles, PresenceFollowsTheLocalTimeAndFailsWithItsConversions) {
  // 1980-01-01 00:00 UTC is 08:00 local at UTC+8 (inside the DOS range) but
  // still 1979 local at UTC-1 (outside it): the local time decides.
  machine.AddFile("C:\\d\\old.ini", "x", kAttrArchive, vxtest::UtcTime(1980, 1, 1));
  EXPECT_TRUE(QueryFilePresent("C:\\d\\old.ini"));
  for (Op op : {Op::FileTimeToLocalFileTime, Op::FileTimeToDosDateTime}) {
    machine.FailCall(op, 1, kErrorInvalidParameter);
    EXPECT_EQ(QueryFileStamp("C:\\d\\old.ini"), -1) << OpName(op);
    machine.FailCall(op, 1, kErrorInvalidParameter);
    EXPECT_FALSE(QueryFilePresent("C:\\d\\old.ini")) << OpName(op);
  }
  machine.SetTimeZoneOffsetMinutes(-60);
  EXPECT_FALSE(QueryFilePresent("C:\\d\\old.ini"));
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(FunUnitFiles, SystemFolderEndsWithExactlyOneBackslashOrIsEmpty) {
  std::string longest = "C:\\";
  for (std::uint32_t i = 0; i < kMaxPath - 4; ++i) longest += "系";  // 259 UTF-16 units, the most a path takes
  struct Case {
    std::string folder, path;
  };
  for (const Case& c : {Case{"C:\\", "C:\\"}, Case{"", ""}, Case{longest, longest + "\\"}, Case{longest + "s", ""}}) {
    machine.SetSystemDirectory(c.folder);
    EXPECT_EQ(GetSystemFolderPath(), c.path) << c.folder.size();
  }
}

}  // namespace
}  // namespace vx
