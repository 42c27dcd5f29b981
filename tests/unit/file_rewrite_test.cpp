#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/file_rewrite.h"
#include "engine/rewrite_guard.h"
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

// What each refusal or fault makes of one rewrite, that the file always holds
// exactly what the result says, and the pauses it took to get there.
TEST_F(FileRewriteTest, ResultTellsWhetherARetryCanHelp) {
  // One UTF-16 unit more than the file calls take.
  std::string longPath = "C:\\" + std::string(128, 'd') + "\\";
  for (std::uint32_t i = 0; i < kMaxPath - 132; ++i) longPath += "啊";
  struct Case {
    const char* what;
    std::function<void(MemoryPlatform&)> setup;
    RewriteResult want;
    std::vector<std::uint32_t> sleeps = {};
    std::string replacement = kNew, path = kPath;
  };
  auto asRoot = [](std::uint32_t bit) {  // Wine as root writes protected files; the rewrite still must not
    return [bit](MemoryPlatform& m) {
      m.SetRefusesProtectedFiles(false);
      m.AddFile(kPath, kOriginal, bit);
    };
  };
  const Case cases[] = {
      {"nothing in the way", [](MemoryPlatform&) {}, RewriteResult::kDone},
      {"a replacement as long as the original", [](MemoryPlatform&) {}, RewriteResult::kDone, {},
       std::string(kOriginal.size(), 'x')},
      {"a replacement longer than the original", [](MemoryPlatform&) {}, RewriteResult::kRefused, {}, kOriginal + "."},
      {"a path the file calls cannot take", [&](MemoryPlatform& m) { m.AddFile(longPath, kOriginal); },
       RewriteResult::kRefused, {}, kNew, longPath},
      {"read-only", [](MemoryPlatform& m) { m.AddFile(kPath, kOriginal, kAttrReadOnly); }, RewriteResult::kRefused},
      {"read-only, Wine as root", asRoot(kAttrReadOnly), RewriteResult::kRefused},
      {"hidden, Wine as root", asRoot(kAttrHidden), RewriteResult::kRefused},
      {"system, Wine as root", asRoot(kAttrSystem), RewriteResult::kRefused},
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
      // Nothing landed, so the file that still holds the original needs no write and no wait.
      {"every write refused", [](MemoryPlatform& m) { m.FailCall(Op::WriteFile, 1, kErrorDiskFull, true); },
       RewriteResult::kRefused},
      {"the cut fails", [](MemoryPlatform& m) { m.FailCall(Op::SetEndOfFile, 1, kErrorAccessDenied); },
       RewriteResult::kRefused},
      {"the flush fails", [](MemoryPlatform& m) { m.FailCall(Op::FlushFileBuffers, 1, kErrorWriteFault); },
       RewriteResult::kDone},
      {"the close fails", [](MemoryPlatform& m) { m.FailCall(Op::CloseHandle, 1, kErrorInvalidHandle); },
       RewriteResult::kDone},
      // The look at what the failed close left waits before it tries again.
      {"the close fails, the file held a moment after", [](MemoryPlatform& m) {
         m.FailCall(Op::CloseHandle, 1, kErrorInvalidHandle);
         m.FailCall(Op::CreateFileA, 2, kErrorSharingViolation);
       }, RewriteResult::kDone, {10}},
  };
  for (const Case& c : cases) {
    OnFresh([&](MemoryPlatform& m, FakeWindow&) {
      m.AddFile(kPath, kOriginal);
      c.setup(m);
      std::string before = m.FileBytes(c.path);
      int openBefore = m.OpenHandleCount();
      RewriteResult got = RewriteFileInPlace(c.path, kOriginal, c.replacement);
      EXPECT_STREQ(Name(got), Name(c.want)) << c.what;
      EXPECT_EQ(m.FileBytes(c.path), got == RewriteResult::kDone ? c.replacement : before) << c.what;
      EXPECT_EQ(m.OpenHandleCount(), openBefore) << c.what;
      EXPECT_EQ(m.Sleeps(), c.sleeps) << c.what;
    });
  }
}

TEST_F(FileRewriteTest, AFileAnotherProgramHoldsIsTriedThreeTimes) {
  machine.AddProcess("f.exe", kPath);
  machine.AddFile(kPath, kOriginal);
  EXPECT_FALSE(RepairFileInPlace(kPath, kOriginal, kNew));
  EXPECT_EQ(machine.Sleeps(), (std::vector<std::uint32_t>{50, 50}));  // three attempts in all
  EXPECT_EQ(machine.FileBytes(kPath), kOriginal);
}

// A rewrite that meets the program's end waits until rewrites are allowed
// again; the window hears the count go up, back down as the rewrite backs
// off, and up and down again around the rewrite itself.
std::vector<int> countsHeard;
TEST_F(FileRewriteTest, ARewriteHeldBackBacksOffAndSaysSo) {
  countsHeard.clear();
  SetRewriteListener([] { countsHeard.push_back(RewritesUnderWay()); });
  HoldBackRewrites();
  machine.OnSleep([](std::uint32_t) { AllowRewrites(); });
  machine.AddFile(kPath, kOriginal);
  EXPECT_EQ(RewriteFileInPlace(kPath, kOriginal, kNew), RewriteResult::kDone);
  SetRewriteListener(nullptr);
  EXPECT_EQ(countsHeard, (std::vector<int>{1, 0, 1, 0}));
  EXPECT_EQ(machine.Sleeps(), std::vector<std::uint32_t>{50});
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
