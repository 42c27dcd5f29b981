#include <gtest/gtest.h>

#include <string>

#include "engine/restore_infected_file.h"
#include "tests/test_helpers.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

const std::string kZero(1, '\0');

// "start:length" of the host program, or "none".
std::string Host(const std::string& content) {
  std::size_t start = 99, length = 99;
  if (!FindHostProgram(content, &start, &length)) return "none";
  return std::to_string(start) + ":" + std::to_string(length);
}

std::string Infected(const std::string& size) { return "ABCDEFGH" + kZero + vxtest::InfectionTrailer(size); }

TEST(InfectionTrailer, SizeFieldPicksTheBytesBeforeTheLastZero) {
  EXPECT_EQ(Host(Infected("3")), "5:3");
  EXPECT_EQ(Host(Infected("8")), "0:8");
  EXPECT_EQ(Host(Infected("0")), "8:0");
  EXPECT_EQ(Host(Infected("003")), "5:3");
  EXPECT_EQ(Host(Infected("00000000000008")), "0:8");  // leading zeros never overflow
  // Only the first 0x01 ends the size field.
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QmTezQMTEZ\x02" "3\x01" "7\x01"), "5:3");
  // The lead field is skipped whole, a 0x02 in it included.
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "\x02" "9999QmTezQMTEZ\x02" "2\x01"), "6:2");
  // No separator: the size field follows the lead field; the tail supplies a marker.
  std::string twelve = "0123456789AB";
  EXPECT_EQ(Host("xx" + twelve + kZero + "QmTez12\x01QMTEZ"), "2:12");
  EXPECT_EQ(Host(twelve.substr(1) + kZero + "QmTez12\x01QMTEZ"), "none");
  // Zero bytes inside the host are the host's own.
  EXPECT_EQ(Host(std::string("A\0B\0C", 5) + kZero + "QmTezQMTEZ\x02" "5\x01"), "0:5");
}

TEST(InfectionTrailer, NeedsBothMarkersAfterTheLastZeroAndATerminator) {
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QmTezxxxxx\x02" "3\x01"), "none");
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "xxxxxQMTEZ\x02" "3\x01"), "none");
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QmTEzQMTEZ\x02" "3\x01"), "none");
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QmTezQMTeZ\x02" "3\x01"), "none");
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QmTezQMTEZ\x02" "3"), "none");
  EXPECT_EQ(Host(Infected("3") + kZero), "none");  // markers only before the last zero
  EXPECT_EQ(Host("QmTezQMTEZ" + kZero + "xxxxx\x02" "3\x01"), "none");
  EXPECT_EQ(Host(""), "none");
}

TEST(InfectionTrailer, UnsoundSizesAndFilesWithoutZeroAreLeftAlone) {
  for (const char* size : {"", " 3", "+3", "-3", "$3", "0x3", "3a", "3 ", "9", "2147483648", "4294967299",
                           "99999999999"}) {
    EXPECT_EQ(Host(Infected(size)), "none") << '"' << size << '"';
  }
  EXPECT_EQ(Host("ABCDEFGHQmTezQMTEZ\x02" "3\x01"), "none");    // no zero byte at all
  EXPECT_EQ(Host("ABCDEFGH" + kZero + "QM\x01QmTezQMTEZ"), "none");  // fewer than five lead bytes
}

class RestoreTest : public EngineTest {};

TEST_F(RestoreTest, RestoresCountsAndReportsInThatOrder) {
  machine.AddFile("C:\\apps\\a.exe", Infected("3"));
  machine.AddFile("C:\\apps\\b.scr", Infected("0"));
  CleanedFiles = 4;
  int countAtLog = -1;
  window.onOp = [&](const std::string& op) { if (op.rfind("log ", 0) == 0) countAtLog = CleanedFiles; };
  RestoreInfectedFile("C:\\apps\\a.exe");
  EXPECT_EQ(machine.FileBytes("C:\\apps\\a.exe"), "FGH");
  EXPECT_EQ(countAtLog, 5);
  RestoreInfectedFile("C:\\apps\\b.scr");
  EXPECT_TRUE(machine.Exists("C:\\apps\\b.scr"));
  EXPECT_EQ(machine.FileBytes("C:\\apps\\b.scr"), "");
  EXPECT_EQ(CleanedFiles, 6);
  EXPECT_EQ(window.Ops(), (std::vector<std::string>{
                              "log C:\\apps\\a.exe还原成功!", "status 2 已清除文件数:5",
                              "log C:\\apps\\b.scr还原成功!", "status 2 已清除文件数:6"}));
  EXPECT_EQ(machine.ListNames("C:\\apps"), (std::vector<std::string>{"a.exe", "b.scr"}));
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  EXPECT_TRUE(machine.Sleeps().empty());
}

TEST_F(RestoreTest, FilesWithoutASoundTrailerAreNeverOpenedForWriting) {
  const std::string files[] = {Infected("9"), Infected("x"), Infected("3") + kZero, "MZ plain program", ""};
  for (const std::string& bytes : files) {
    machine.AddFile("C:\\p.exe", bytes);
    machine.ResetCallCounts();
    RestoreInfectedFile("C:\\p.exe");
    EXPECT_EQ(machine.FileBytes("C:\\p.exe"), bytes);
    EXPECT_EQ(machine.CallCount(Op::CreateFileA), 1);  // the read only
  }
  RestoreInfectedFile("C:\\missing.exe");
  EXPECT_TRUE(window.Ops().empty());
  EXPECT_EQ(CleanedFiles, 0);
}

}  // namespace
}  // namespace vx
