#include <gtest/gtest.h>

#include "tests/unit/engine_fixture.h"
#include "util/fun_unit.h"

namespace vx {
namespace {

TEST(FunUnitText, UpperCaseAsciiFoldsOnlyLatinLetters) {
  EXPECT_EQ(UpperCaseAscii("qadrelv_01.exe"), "QADRELV_01.EXE");
  // Both bytes of this GBK pair; the trail byte 0x61 is the letter a.
  EXPECT_EQ(UpperCaseAscii("\xb0\x61x\xff"), "\xb0\x41X\xff");
  EXPECT_EQ(UpperCaseAscii(""), "");
}

TEST(FunUnitText, NameExtensionIsTheTextAfterTheLastDot) {
  EXPECT_EQ(GetNameExtension("index.htm"), "htm");
  EXPECT_EQ(GetNameExtension("a.exe.bak"), "bak");
  EXPECT_EQ(GetNameExtension("exe"), "");
  EXPECT_EQ(GetNameExtension("a."), "");
  EXPECT_EQ(GetNameExtension(".htaccess"), "htaccess");
  EXPECT_EQ(GetNameExtension("Setup.eXe"), "eXe");
}

TEST(FunUnitText, ParseIntegerReadsDecimalHexAndStopsAtTheFirstMisfit) {
  EXPECT_EQ(ParseInteger(""), 0);
  EXPECT_EQ(ParseInteger("12"), 12);
  EXPECT_EQ(ParseInteger("003"), 3);
  EXPECT_EQ(ParseInteger("   42"), 42);
  EXPECT_EQ(ParseInteger("-17"), -17);
  EXPECT_EQ(ParseInteger("+5"), 5);
  EXPECT_EQ(ParseInteger("$1F"), 31);
  EXPECT_EQ(ParseInteger("0x10"), 16);
  EXPECT_EQ(ParseInteger("X10"), 16);
  EXPECT_EQ(ParseInteger("abc"), 0);
  // Malformed text gives the digits before the misfit, without the sign.
  EXPECT_EQ(ParseInteger("12ab"), 12);
  EXPECT_EQ(ParseInteger("-12 "), 12);
  EXPECT_EQ(ParseInteger("   "), 0);
  EXPECT_EQ(ParseInteger("-"), 0);
  EXPECT_EQ(ParseInteger("0x"), 0);
  EXPECT_EQ(ParseInteger("\t5"), 0);
}

TEST(FunUnitText, FormatIntegerGivesPlainDecimals) {
  EXPECT_EQ(FormatInteger(0), "0");
  EXPECT_EQ(FormatInteger(-1), "-1");
  EXPECT_EQ(FormatInteger(2147483647), "2147483647");
  EXPECT_EQ(FormatInteger(-2147483647 - 1), "-2147483648");
}

class FunUnitFiles : public EngineTest {};

TEST_F(FunUnitFiles, UpperCaseTextUsesTheSystemMappingAndLeavesTheArgument) {
  machine.ResetCallCounts();
  EXPECT_EQ(UpperCaseText(""), "");
  EXPECT_EQ(machine.CallCount(Op::Count), 0);  // nothing asked of the system for empty text
  std::string name = "page.Html";
  EXPECT_EQ(UpperCaseText(name), "PAGE.HTML");
  EXPECT_EQ(name, "page.Html");
}

TEST_F(FunUnitFiles, PresenceNeedsAFileWithADosRepresentableTime) {
  machine.AddFile("C:\\d\\a.ini", "x");
  machine.AddFolder("C:\\d\\folder.ini");
  machine.AddFile("C:\\d\\old.ini", "x", kAttrArchive, 119600064000000000ull);   // 1980-01-01 UTC, 1979 in no zone east of UTC? see below
  machine.AddFile("C:\\d\\ancient.ini", "x", kAttrArchive, 110000000000000000ull);  // 1949
  machine.AddFile("C:\\d\\future.ini", "x", kAttrArchive, 160000000000000000ull);   // 2108
  EXPECT_TRUE(QueryFilePresent("C:\\d\\a.ini"));
  EXPECT_FALSE(QueryFilePresent("C:\\d\\folder.ini"));
  EXPECT_FALSE(QueryFilePresent("C:\\d\\missing.ini"));
  EXPECT_FALSE(QueryFilePresent("C:\\d\\ancient.ini"));
  EXPECT_FALSE(QueryFilePresent("C:\\d\\future.ini"));
  // 1980-01-01 00:00 UTC is 08:00 local at UTC+8 (inside the range) but still
  // 1979 local at UTC-1 (outside it): the local time decides.
  EXPECT_TRUE(QueryFilePresent("C:\\d\\old.ini"));
  machine.SetTimeZoneOffsetMinutes(-60);
  EXPECT_FALSE(QueryFilePresent("C:\\d\\old.ini"));
  // A wildcard looks at the first match only: here the folder.
  machine.AddFolder("C:\\w\\a1");
  machine.AddFile("C:\\w\\a2", "x");
  EXPECT_FALSE(QueryFilePresent("C:\\w\\a*"));
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(FunUnitFiles, SystemFolderEndsWithExactlyOneBackslash) {
  EXPECT_EQ(GetSystemFolderPath(), "C:\\windows\\system32\\");
  machine.SetSystemDirectory("C:\\");
  EXPECT_EQ(GetSystemFolderPath(), "C:\\");
  machine.SetSystemDirectory("");
  EXPECT_EQ(GetSystemFolderPath(), "");
}

}  // namespace
}  // namespace vx
