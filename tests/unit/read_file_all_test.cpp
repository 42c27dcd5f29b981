#include <gtest/gtest.h>

#include <string>

#include "engine/read_file_all.h"
#include "testbed/forwarding_platform.h"
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

// Every byte of the file, zero bytes too, or nothing at all: at the block
// boundaries, at the most one call may hold (1001 blocks) and one byte more,
// and at sizes a signed count cannot hold, which are not even read.
TEST_F(ReadFileAllTest, DeliversTheWholeFileOrNothing) {
  struct Case { std::uint64_t size; int reads; bool whole; };
  for (Case c : {Case{0, 0, true}, Case{100, 1, true}, Case{51200, 1, true}, Case{51201, 2, true},
                 Case{130000, 3, true}, Case{51251200, 1001, true}, Case{51251201, 1001, false},
                 Case{0x80000000ull, 0, false}, Case{0xFFFFFFFFull, 0, false}, Case{0x100000064ull, 0, false}}) {
    const bool small = c.size <= 130000;  // the others are sparse: zero bytes only
    const std::string bytes = small ? Numbered(c.size) : std::string();
    small ? machine.AddFile("C:\\f.bin", bytes) : machine.AddSparseFile("C:\\f.bin", c.size);
    machine.ResetCallCounts();
    const std::string got = ReadFileAll("C:\\f.bin");
    EXPECT_EQ(got.size(), c.whole ? c.size : 0) << c.size;
    EXPECT_TRUE(small ? got == bytes : got.find_first_not_of('\0') == std::string::npos) << c.size;
    EXPECT_EQ(machine.CallCount(Op::ReadFile), c.reads) << c.size;
    EXPECT_EQ(machine.OpenHandleCount(), 0) << c.size;
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
  // The longest path the file calls take (259 UTF-16 units) is read; one unit more is not.
  std::string longest = "C:\\" + std::string(128, 'd') + "\\";
  for (std::uint32_t i = 0; i < kMaxPath - 133; ++i) longest += "啊";
  machine.AddFile(longest, "longest");
  machine.AddFile(longest + "啊", "longer");
  EXPECT_EQ(ReadFileAll(longest), "longest");
  EXPECT_EQ(ReadFileAll(longest + "啊"), "");
  machine.CloseHandle(holder);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  // A read that hands back less than asked, as a network share may: the
  // bytes after it were never seen, so the file is not vouched for.
  struct ShortReads : ForwardingPlatform {
    using ForwardingPlatform::ForwardingPlatform;
    bool ReadFile(Handle f, void* to, std::uint32_t n, std::uint32_t* got) override {
      return ForwardingPlatform::ReadFile(f, to, n - 1, got);
    }
  } shortReads(machine);
  SetPlatform(&shortReads);
  EXPECT_EQ(ReadFileAll(longest), "");
}

}  // namespace
}  // namespace vx
