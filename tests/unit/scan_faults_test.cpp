// A whole walk of a small drive that holds every kind of file, with each
// platform call of the walk failing in turn: once, and from then on. Whatever
// fails, every file ends as it was or repaired, the log and the counters tell
// exactly what was done, and a folder that cannot be listed costs only that
// folder: the walk goes on with the next entry of its parent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/scan_tree.h"
#include "testbed/fault_plan.h"
#include "tests/unit/repair_cases.h"

namespace vx {
namespace {

enum class Kind {
  kKept,     // never changed: no handler, protected, running, passed over or too large
  kProgram,  // an infected program: restored, counted, logged
  kPage,     // a page holding the pattern: cleaned, logged
  kMarker,   // a marker in a subfolder: deleted, logged
};

struct Sample {
  std::string path;
  Kind kind;
  std::string before, after;
  std::uint32_t attributes = kAttrArchive;
};

Sample Program(const std::string& path, std::uint32_t attributes = kAttrArchive) {
  std::string host = "MZ host of " + path;
  return {path, attributes == kAttrArchive ? Kind::kProgram : Kind::kKept, vxtest::InfectedProgram("dropped", host), host, attributes};
}

Sample Page(const std::string& path, std::uint32_t attributes = kAttrArchive) {
  std::string html = "<html>" + path + "</html>";
  return {path, attributes == kAttrArchive ? Kind::kPage : Kind::kKept, TestPattern() + html, html, attributes};
}

Sample Kept(const std::string& path, const std::string& bytes) { return {path, Kind::kKept, bytes, bytes}; }

Sample Marker(const std::string& path, std::uint32_t attributes = kAttrArchive) {
  return {path, Kind::kMarker, "marker", "", attributes};
}

// In listing order: a folder is listed where its first file is added.
std::vector<Sample> Tree() {
  return {
      Kept("D:\\Quellin_.ini", "a drive root keeps its marker"),
      Program("D:\\a.exe"),
      Kept("D:\\clean.exe", "MZ a program without trailer"),
      Page("D:\\index.htm"),
      Kept("D:\\plain.html", "<html>nothing injected</html>"),
      Kept("D:\\.htaccess", TestPattern()),
      Marker("D:\\sub\\Quellin_.ini"),
      Marker("D:\\sub\\Quellin__.ini", kAttrHidden),
      Program("D:\\sub\\TOOL.SCR"),
      Program("D:\\sub\\ro.exe", kAttrReadOnly),
      Page("D:\\sub\\hidden.asp", kAttrHidden),
      Marker("D:\\sub\\deep\\Quellin__.ini"),
      Page("D:\\sub\\deep\\page.php"),
      Kept("D:\\sub\\deep\\notes.txt", "notes"),
      Program("D:\\sub\\after.com"),
      Kept("D:\\.svn\\entries.htm", TestPattern()),
      Program("D:\\run\\busy.exe"),
      Kept("D:\\run\\noext", "no extension"),
      Page("D:\\last.jsp"),
  };
}

const char kBig[] = "D:\\big.exe";  // 30 MiB: never examined unless its size cannot be read
const char kRunning[] = "D:\\run\\busy.exe";

bool Under(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
}

// Files the walk must show when nothing stops it: not passed over by name,
// and not a subfolder's marker (those go before the walk meets them).
bool MustBeShown(const Sample& s) {
  return s.kind != Kind::kMarker && s.path.find("\\.") == std::string::npos;
}

void ListFiles(const MemoryPlatform& m, const std::string& folder, std::set<std::string>* files) {
  for (const std::string& name : m.ListNames(folder)) {
    std::string path = folder + "\\" + name;
    if (m.IsFolder(path)) {
      ListFiles(m, path, files);
    } else {
      files->insert(path);
    }
  }
}

class ScanFaults : public ::testing::Test {
 protected:
  void TearDown() override {
    SetWindow(nullptr);
    SetPlatform(nullptr);
  }

  void Build(MemoryPlatform& m) {
    m.AddDrive('D', kDriveFixed);
    for (const Sample& s : Tree()) m.AddFile(s.path, s.before, s.attributes);
    m.AddFolder("D:\\empty");
    m.AddSparseFile(kBig, static_cast<std::uint64_t>(kMaxScanFileSize));
    m.AddProcess("busy.exe", kRunning);
  }

  // One walk under the plan; returns false when no fault fired (the calls ran out).
  bool RunCase(const std::vector<PlannedFault>& plan, bool persistent) {
    MemoryPlatform m;
    FaultPlanPlatform p(m);
    FakeWindow w;
    Build(m);
    SetPlatform(&p);
    SetWindow(&w);
    ScannedFiles = 0;
    CleanedFiles = 0;
    p.SetPlan(plan);
    ScanTree("D:\\");
    SetPlatform(nullptr);
    if (!plan.empty() && p.Fired() == 0) return false;
    ++cases_;
    std::string fault = p.FiredAt().empty() ? "no fault" : p.FiredAt()[0];
    SCOPED_TRACE(fault);
    std::pair<Op, std::string> call = p.FiredCalls().empty() ? std::make_pair(Op::Count, std::string())
                                                             : p.FiredCalls()[0];
    broken_ = false;
    CheckFiles(m, w);
    CheckCounters(w);
    // The machine keeps a search whose FindClose it refused; the walk never
    // closes a handle twice, so that one search stays open.
    int refusedSearches = call.first != Op::FindClose ? 0 : persistent ? 1000 : 1;
    bool handlesMayStay = persistent && call.first == Op::CloseHandle;
    Check(handlesMayStay || m.OpenHandleCount() <= refusedSearches, "handle left open");
    if (!persistent) CheckWalkWentOn(w, call);
    if (broken_) ++brokenCases_;
    return true;
  }

  std::vector<std::string> Shown(FakeWindow& w) {
    std::vector<std::string> shown;
    for (const std::string& op : w.Ops()) {
      if (op.compare(0, 5, "file ") == 0) shown.push_back(op.substr(5));
    }
    return shown;
  }

  void Check(bool ok, const std::string& what) {
    if (ok) return;
    broken_ = true;
    ADD_FAILURE() << what;
  }

  // Every file as it was or repaired, with exactly the log lines that says.
  void CheckFiles(MemoryPlatform& m, FakeWindow& w) {
    std::vector<std::string> log = w.Log();
    std::vector<std::string> shown = Shown(w);
    std::multiset<std::string> expectedLog;
    std::set<std::string> expectedFiles = {kBig};
    int restored = 0;
    for (const Sample& s : Tree()) {
      bool present = m.Exists(s.path);
      std::string now = m.FileBytes(s.path);
      if (s.kind == Kind::kMarker && !present) {
        expectedLog.insert(s.path + kDeletedLog);
        continue;
      }
      expectedFiles.insert(s.path);
      bool changed = now != s.before;
      if (!changed) continue;
      Check(s.kind == Kind::kProgram || s.kind == Kind::kPage, s.path + " changed");
      Check(now == s.after, s.path + " damaged");
      Check(std::find(shown.begin(), shown.end(), s.path) != shown.end(), s.path + " repaired unseen");
      expectedLog.insert(s.path + (s.kind == Kind::kProgram ? kRestoredLog : kPageCleanedLog));
      if (s.kind == Kind::kProgram) ++restored;
    }
    Check(std::multiset<std::string>(log.begin(), log.end()) == expectedLog, "log does not tell what was done");
    Check(CleanedFiles == restored, "CleanedFiles " + std::to_string(CleanedFiles) + " for " +
                                        std::to_string(restored) + " restored");
    Check(w.panels[2] == kPanelCleanedPrefix + (restored ? std::to_string(restored) : ""), "panel 2");
    std::set<std::string> files;
    ListFiles(m, "D:", &files);
    Check(files == expectedFiles, "a file came or went");
    Check(m.FileSize(kBig) == static_cast<std::uint64_t>(kMaxScanFileSize), "the large file changed");
  }

  void CheckCounters(FakeWindow& w) {
    int shown = static_cast<int>(Shown(w).size());
    Check(ScannedFiles == shown, "ScannedFiles " + std::to_string(ScannedFiles) + " for " +
                                     std::to_string(shown) + " shown");
    Check(w.panels[1] == kPanelScannedPrefix + (shown ? std::to_string(shown) : ""), "panel 1");
  }

  // One passing fault skips at most the folder whose listing it broke; the
  // rest of the drive, its parent's later entries included, is walked.
  void CheckWalkWentOn(FakeWindow& w, const std::pair<Op, std::string>& call) {
    std::string lost;  // the folder the walk may have left, with its final "\"
    const std::string all = "*.*";
    bool listing = call.first == Op::FindFirstFileA || call.first == Op::FindNextFileA;
    if (listing && call.second.size() > all.size() &&
        call.second.compare(call.second.size() - all.size(), all.size(), all) == 0) {
      lost = call.second.substr(0, call.second.size() - all.size());
    }
    std::vector<std::string> shown = Shown(w);
    for (const Sample& s : Tree()) {
      if (!MustBeShown(s) || (!lost.empty() && Under(s.path, lost))) continue;
      Check(std::find(shown.begin(), shown.end(), s.path) != shown.end(), s.path + " not walked");
    }
  }

  bool broken_ = false;
  int cases_ = 0, brokenCases_ = 0;
};

TEST_F(ScanFaults, EveryCallOfAWalkFailsInTurn) {
  ASSERT_TRUE(RunCase({}, false));
  {  // Without faults every repair is made and every subfolder marker goes.
    MemoryPlatform m;
    FakeWindow w;
    Build(m);
    SetPlatform(&m);
    SetWindow(&w);
    CleanedFiles = 0;
    ScanTree("D:\\");
    EXPECT_EQ(CleanedFiles, 3);
    EXPECT_EQ(w.Log().size(), 3u + 3u + 3u);
  }
  struct Mode {
    FaultKind kind;
    bool persistent;
  };
  for (Mode mode : {Mode{FaultKind::kRetryable, false}, Mode{FaultKind::kHard, false}, Mode{FaultKind::kHard, true}}) {
    for (int nth = 1;; ++nth) {
      PlannedFault f;
      f.nth = nth;
      f.kind = mode.kind;
      f.persistent = mode.persistent;
      if (!RunCase({f}, mode.persistent)) break;
    }
  }
  std::printf("[ scan faults ] %d cases, %d with a broken promise\n", cases_, brokenCases_);
  EXPECT_EQ(brokenCases_, 0);
  EXPECT_GT(cases_, 300);
}

}  // namespace
}  // namespace vx
