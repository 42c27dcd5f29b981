#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/file_rewrite.h"
#include "tests/unit/engine_fixture.h"
#include "tests/unit/repair_cases.h"

namespace vx {
namespace {

const char kPath[] = "C:\\apps\\f.exe";
const std::string kOriginal = "MZ original program bytes, long enough";
const std::string kNew = "MZ host";

class FileRewriteTest : public EngineTest {};

const char* Name(RewriteResult r) {
  switch (r) {
    case RewriteResult::kDone: return "done";
    case RewriteResult::kBusy: return "busy";
    case RewriteResult::kRefused: return "refused";
    case RewriteResult::kLost: return "lost";
  }
  return "?";
}

// What each refusal or fault makes of one rewrite, and that the file always
// holds exactly what the result says.
TEST_F(FileRewriteTest, ResultTellsWhetherARetryCanHelp) {
  struct Case {
    const char* what;
    std::function<void(MemoryPlatform&)> setup;
    RewriteResult want;
  };
  const Case cases[] = {
      {"nothing in the way", [](MemoryPlatform&) {}, RewriteResult::kDone},
      {"read-only", [](MemoryPlatform& m) { m.AddFile(kPath, kOriginal, kAttrReadOnly); }, RewriteResult::kRefused},
      {"hidden, Wine as root", [](MemoryPlatform& m) {
         m.SetRefusesProtectedFiles(false);
         m.AddFile(kPath, kOriginal, kAttrHidden);
       }, RewriteResult::kRefused},
      {"changed since it was read", [](MemoryPlatform& m) { m.AddFile(kPath, kOriginal + "!"); },
       RewriteResult::kRefused},
      {"gone since it was read", [](MemoryPlatform& m) { m.AddFile("C:\\apps\\other.exe", ""); m.DeleteFileA(kPath); },
       RewriteResult::kRefused},
      {"a running program", [](MemoryPlatform& m) { m.AddProcess("f.exe", kPath); }, RewriteResult::kBusy},
      {"held open by another program", [](MemoryPlatform& m) {
         m.CreateFileA(kPath, kGenericRead, kFileShareRead, kOpenExisting, kAttrNormal);
       }, RewriteResult::kBusy},
      {"a locked region on the check", [](MemoryPlatform& m) { m.FailCall(Op::ReadFile, 1, kErrorLockViolation); },
       RewriteResult::kBusy},
      {"a read fault on the check", [](MemoryPlatform& m) { m.FailCall(Op::ReadFile, 1, kErrorReadFault); },
       RewriteResult::kRefused},
      {"a locked region on the write", [](MemoryPlatform& m) { m.FailCall(Op::WriteFile, 1, kErrorLockViolation); },
       RewriteResult::kBusy},
      {"a full disk", [](MemoryPlatform& m) { m.FailWriteAfter(3); }, RewriteResult::kRefused},
      {"the cut fails", [](MemoryPlatform& m) { m.FailCall(Op::SetEndOfFile, 1, kErrorAccessDenied); },
       RewriteResult::kRefused},
      {"the flush fails", [](MemoryPlatform& m) { m.FailCall(Op::FlushFileBuffers, 1, kErrorWriteFault); },
       RewriteResult::kDone},
      {"the close fails", [](MemoryPlatform& m) { m.FailCall(Op::CloseHandle, 1, kErrorInvalidHandle); },
       RewriteResult::kDone},
  };
  for (const Case& c : cases) {
    MemoryPlatform m;
    SetPlatform(&m);
    m.AddFile(kPath, kOriginal);
    c.setup(m);
    std::string before = m.FileBytes(kPath);
    int openBefore = m.OpenHandleCount();
    RewriteResult got = RewriteFileInPlace(kPath, kOriginal, kNew);
    EXPECT_STREQ(Name(got), Name(c.want)) << c.what;
    EXPECT_EQ(m.FileBytes(kPath), got == RewriteResult::kDone ? kNew : before) << c.what;
    EXPECT_EQ(m.OpenHandleCount(), openBefore) << c.what;
    // Putting a file right needs no pause when nothing got in the way of the read-back.
    EXPECT_TRUE(m.Sleeps().empty()) << c.what;
    SetPlatform(&machine);
  }
}

TEST_F(FileRewriteTest, OnlyAProgramHoldingTheFileIsWaitedFor) {
  machine.AddFile(kPath, kOriginal, kAttrSystem);
  EXPECT_FALSE(RepairFileInPlace(kPath, kOriginal, kNew));
  machine.AddFile(kPath, kOriginal);
  machine.FailWriteAfter(0);
  EXPECT_FALSE(RepairFileInPlace(kPath, kOriginal, kNew));
  EXPECT_TRUE(machine.Sleeps().empty());

  machine.AddProcess("f.exe", kPath);
  EXPECT_FALSE(RepairFileInPlace(kPath, kOriginal, kNew));
  EXPECT_EQ(machine.Sleeps(), (std::vector<std::uint32_t>{50, 50}));  // three attempts in all
  EXPECT_EQ(machine.FileBytes(kPath), kOriginal);
}

// The one loss the rewrite cannot prevent without a copy of the file: the disk
// takes the first chunk of the repaired content, then refuses every write for
// good, so the original cannot go back. The file is lost, and nothing claims
// it was repaired.
TEST_F(FileRewriteTest, ADiskThatRefusesEveryWriteForGoodCanLoseALargeFile) {
  RepairCase r = RestorerCase((std::size_t(1) << 20) + 1000);
  machine.AddFile(r.path, r.before);
  machine.FailCall(Op::WriteFile, 2, kErrorDiskFull, /*persistent=*/true);
  EXPECT_EQ(RewriteFileInPlace(r.path, r.before, r.after), RewriteResult::kLost);
  std::string now = machine.FileBytes(r.path);
  EXPECT_NE(now, r.before);
  EXPECT_NE(now, r.after);
  EXPECT_EQ(machine.Sleeps(), (std::vector<std::uint32_t>{10, 20, 40, 80}));  // the put-back was tried five times
  EXPECT_EQ(machine.OpenHandleCount(), 0);

  machine.AddFile(r.path, r.before);
  r.run(r.path);
  EXPECT_TRUE(window.Log().empty());
  EXPECT_EQ(CleanedFiles, 0);
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// A view of the runs a repairer keeps reads like the string it stands for,
// at every position and length, across the seam between its two runs.
TEST(ContentViewTest, ReadsLikeTheContentItStandsFor) {
  const std::string base = "0123456789";
  struct Case {
    ContentView view;
    std::string same;
  } cases[] = {
      {ContentView(base), base},
      {ContentView::Run(base, 2, 5), "23456"},
      {ContentView::Without(base, 3, 4), "012789"},
      {ContentView::Without(base, 0, 3), "3456789"},
      {ContentView::Without(base, 8, 9), "01234567"},  // a cut that runs past the end
      {ContentView::Run(base, 10, 0), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.same);
    ASSERT_EQ(c.view.size(), c.same.size());
    for (std::size_t at = 0; at <= c.same.size() + 1; ++at) {
      for (std::size_t n = 0; at + n <= c.same.size() + 1; ++n) {
        const bool inside = at + n <= c.same.size();
        std::string probe = inside ? c.same.substr(at, n) : std::string(n, '0');
        EXPECT_EQ(c.view.Matches(at, probe.data(), n), inside) << at << "+" << n;
        if (inside && n > 0) {
          probe[n - 1] = 'x';
          EXPECT_FALSE(c.view.Matches(at, probe.data(), n)) << at << "+" << n << " changed";
        }
      }
    }
  }
}

}  // namespace
}  // namespace vx
