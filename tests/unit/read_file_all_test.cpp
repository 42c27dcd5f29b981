#include <gtest/gtest.h>

#include <string>

#include "engine/read_file_all.h"
#include "util/fun_unit.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

// Bytes that differ from block to block, so a block landing in the wrong place shows.
std::string Numbered(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 51200) % 251);
  return bytes;
}

class ReadFileAllTest : public EngineTest {};

TEST_F(ReadFileAllTest, DeliversExactlyTheFileAtEveryBlockBoundary) {
  struct Case { std::size_t size; int reads; };
  for (Case c : {Case{0, 0}, Case{100, 1}, Case{51200, 1}, Case{51201, 2}, Case{130000, 3}}) {
    std::string bytes = Numbered(c.size);
    machine.AddFile("C:\\f.bin", bytes);
    machine.ResetCallCounts();
    EXPECT_EQ(ReadFileAll("C:\\f.bin"), bytes) << c.size;
    EXPECT_EQ(machine.CallCount(Op::ReadFile), c.reads) << c.size;
    EXPECT_EQ(machine.OpenHandleCount(), 0);
  }
}

TEST_F(ReadFileAllTest, KeepsZeroBytesAnywhereAlsoAtTheEnd) {
  std::string bytes("\0a\0\0b\0", 6);
  machine.AddFile("C:\\z.exe", bytes);
  EXPECT_EQ(ReadFileAll("C:\\z.exe"), bytes);
}

TEST_F(ReadFileAllTest, ReadsTheLargestWholeFileButNothingOfALargerOne) {
  machine.AddSparseFile("C:\\max.bin", 51251200);
  EXPECT_EQ(ReadFileAll("C:\\max.bin"), std::string(51251200, '\0'));
  // Part of a file must never pass for the whole: past 1001 blocks the result is empty.
  machine.AddSparseFile("C:\\big.bin", 51251201);
  EXPECT_EQ(ReadFileAll("C:\\big.bin"), "");
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(ReadFileAllTest, FilesOfTwoGibibytesAndMoreGiveNothingWithoutReading) {
  for (std::uint64_t size : {0x80000000ull, 0xFFFFFFFFull, 0x100000064ull}) {
    machine.AddSparseFile("C:\\huge.bin", size);
    machine.ResetCallCounts();
    EXPECT_EQ(ReadFileAll("C:\\huge.bin"), "") << size;
    EXPECT_EQ(machine.CallCount(Op::ReadFile), 0) << size;
    EXPECT_EQ(machine.OpenHandleCount(), 0);
  }
}

TEST_F(ReadFileAllTest, UnreadableFilesGiveNothing) {
  machine.AddFolder("C:\\dir");
  machine.AddFile("C:\\locked.htm", "content");
  Handle holder = machine.CreateFileA("C:\\locked.htm", kGenericRead, 0, kOpenExisting, kAttrNormal);
  ASSERT_NE(holder, kInvalidHandle);
  EXPECT_EQ(ReadFileAll("C:\\missing.htm"), "");
  EXPECT_EQ(ReadFileAll("C:\\nofolder\\a.htm"), "");
  EXPECT_EQ(ReadFileAll("C:\\dir"), "");
  EXPECT_EQ(ReadFileAll("C:\\locked.htm"), "");
  // The longest path the ANSI calls take is read; one byte more is not.
  const std::string longest = "C:\\" + std::string(128, 'd') + "\\" + std::string(kMaxPath - 133, 'a');
  machine.AddFile(longest, "longest");
  machine.AddFile(longest + "a", "longer");
  EXPECT_EQ(ReadFileAll(longest), "longest");
  EXPECT_EQ(ReadFileAll(longest + "a"), "");
  machine.CloseHandle(holder);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace vx
