// Faults injected into everything that rewrites or deletes a user's file: a
// program's restore and a page's cleaning (small, empty, and over one write
// chunk), and a whole walk of a small drive that holds every kind of file.
// Every call of a run fails in turn, once and from then on, as another
// program's passing hold and as a hard refusal; every write is cut short; and
// for the repairs every ordered pair of passing faults is tried. Whatever
// fails, every file ends exactly as it was with nothing said, or fully
// repaired and reported once; no file comes or goes, no handle stays open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/read_file_all.h"
#include "engine/scan_tree.h"
#include "testbed/fault_plan.h"
#include "tests/test_helpers.h"
#include "tests/unit/repair_cases.h"

namespace vx {
namespace {

// What the fixture tells a judge about one run.
struct FaultRun {
  const std::vector<PlannedFault>& plan;
  const FaultPlanPlatform& faults;
  bool persistent() const { return !plan.empty() && plan[0].persistent; }
  // The first fault's call: its operation and argument (Op::Count: none).
  std::pair<Op, std::string> call() const {
    return faults.FiredCalls().empty() ? std::make_pair(Op::Count, std::string()) : faults.FiredCalls()[0];
  }
  // A handle the machine refuses ever to close is the machine's, not a leak of ours.
  bool CloseRefusedForGood() const { return persistent() && call().first == Op::CloseHandle; }
};

// Something run under faults: it sets up the machine and the window, runs,
// and judges what it left, one line per broken promise.
struct Subject {
  std::string name;
  std::function<void(MemoryPlatform&, FakeWindow&)> prepare;
  std::function<void()> run;
  std::function<RepairOutcome(const FaultRun&, MemoryPlatform&, FakeWindow&, std::vector<std::string>*)> judge;
  int calls = 0;  // calls before the first one worth a fault (ReadFileAll's, for the pairs)
  bool persistentWrites = true;
  bool pairs = true;
};

// ---- The repairs ----------------------------------------------------------------

constexpr std::size_t kChunk = std::size_t(1) << 20;

// The calls a repair makes before its rewrite starts (reading the file):
// faults there only make it give up before it starts.
int ReadCalls(const RepairCase& r) {
  MemoryPlatform m;
  FaultPlanPlatform p(m);
  m.AddFile(r.path, r.before);
  SetPlatform(&p);
  ReadFileAll(r.path);
  SetPlatform(nullptr);
  return p.Calls();
}

Subject Repair(const RepairCase& r, bool persistentWrites = true, bool pairs = true) {
  Subject s;
  s.name = r.name;
  s.prepare = [r](MemoryPlatform& m, FakeWindow& w) { PrepareRepair(r, m, w); };
  s.run = [r] { r.run(r.path); };
  s.judge = [r](const FaultRun& run, MemoryPlatform& m, FakeWindow& w, std::vector<std::string>* problems) {
    // A refusal that no retry can change costs no pause for a second attempt
    // (the rewrite pauses 50 ms before it tries a held file again).
    bool passing = std::any_of(run.plan.begin(), run.plan.end(),
                               [](const PlannedFault& f) { return f.kind == FaultKind::kRetryable; });
    std::vector<std::uint32_t> sleeps = m.Sleeps();
    if (!passing && std::count(sleeps.begin(), sleeps.end(), 50u) > 0) problems->push_back("paused for a retry");
    return JudgeRepair(r, m, w, run.CloseRefusedForGood(), problems);
  };
  s.calls = ReadCalls(r);
  s.persistentWrites = persistentWrites;
  s.pairs = pairs;
  return s;
}

// Reading a file whole, three blocks of it: a failed call anywhere gives
// nothing, never a part, and the file is closed.
Subject Reading() {
  const std::string bytes = TestBytes(130000, 5);
  auto got = std::make_shared<std::string>();
  Subject s;
  s.name = "reading of 130000";
  s.prepare = [bytes](MemoryPlatform& m, FakeWindow&) { m.AddFile("C:\\f.bin", bytes); };
  s.run = [got] { *got = ReadFileAll("C:\\f.bin"); };
  s.judge = [bytes, got](const FaultRun& run, MemoryPlatform& m, FakeWindow&, std::vector<std::string>* problems) {
    if (*got != (run.plan.empty() ? bytes : "")) problems->push_back(std::to_string(got->size()) + " bytes read");
    if (!run.CloseRefusedForGood() && m.OpenHandleCount() != 0) problems->push_back("handle left open");
    return got->empty() ? RepairOutcome::kUntouched : RepairOutcome::kRepaired;
  };
  s.calls = 1000;  // every call reads
  s.pairs = false;
  return s;
}

// ---- The walk --------------------------------------------------------------------

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
  return {path, attributes == kAttrArchive ? Kind::kProgram : Kind::kKept, vxtest::InfectedProgram("dropped", host), host,
          attributes};
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
const std::vector<Sample>& Tree() {
  static const std::vector<Sample> tree = {
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
  return tree;
}

const char kBig[] = "D:\\big.exe";  // 30 MiB: never examined unless its size cannot be read
const char kRunning[] = "D:\\run\\busy.exe";

void BuildDrive(MemoryPlatform& m, FakeWindow& w) {
  w.pattern = TestPattern();
  m.AddDrive('D', kDriveFixed);
  for (const Sample& s : Tree()) m.AddFile(s.path, s.before, s.attributes);
  m.AddFolder("D:\\empty");
  m.AddSparseFile(kBig, static_cast<std::uint64_t>(kMaxScanFileSize));
  m.AddProcess("busy.exe", kRunning);
  ScannedFiles = 0;
  CleanedFiles = 0;
}

bool Under(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0;
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

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// Every file as it was or repaired, with exactly the log lines and counters that say so.
void JudgeFiles(MemoryPlatform& m, FakeWindow& w, std::vector<std::string>* problems) {
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) problems->push_back(what);
  };
  std::vector<std::string> log = w.Log(), shown = w.Shown();
  std::multiset<std::string> expectedLog;
  std::set<std::string> expectedFiles = {kBig};
  int restored = 0;
  for (const Sample& s : Tree()) {
    if (s.kind == Kind::kMarker && !m.Exists(s.path)) {
      expectedLog.insert(s.path + kDeletedLog);
      continue;
    }
    expectedFiles.insert(s.path);
    std::string now = m.FileBytes(s.path);
    if (now == s.before) continue;
    expect(s.kind == Kind::kProgram || s.kind == Kind::kPage, s.path + " changed");
    expect(now == s.after, s.path + " damaged");
    expect(Contains(shown, s.path), s.path + " repaired unseen");
    expectedLog.insert(s.path + (s.kind == Kind::kProgram ? kRestoredLog : kPageCleanedLog));
    if (s.kind == Kind::kProgram) ++restored;
  }
  expect(std::multiset<std::string>(log.begin(), log.end()) == expectedLog, "log does not tell what was done");
  expect(CleanedFiles == restored,
         "CleanedFiles " + std::to_string(CleanedFiles) + " for " + std::to_string(restored) + " restored");
  expect(w.panels[2] == kPanelCleanedPrefix + (restored ? std::to_string(restored) : ""), "panel 2");
  int seen = static_cast<int>(shown.size());
  expect(ScannedFiles == seen, "ScannedFiles " + std::to_string(ScannedFiles) + " for " + std::to_string(seen) + " shown");
  expect(w.panels[1] == kPanelScannedPrefix + (seen ? std::to_string(seen) : ""), "panel 1");
  std::set<std::string> files;
  ListFiles(m, "D:", &files);
  expect(files == expectedFiles, "a file came or went");
  expect(m.FileSize(kBig) == static_cast<std::uint64_t>(kMaxScanFileSize), "the large file changed");
}

// One passing fault skips at most the folder whose listing it broke; the rest
// of the drive, its parent's later entries included, is walked. Files passed
// over by name and subfolder markers (gone before the walk meets them) aside.
void JudgeWalkWentOn(const std::pair<Op, std::string>& call, FakeWindow& w, std::vector<std::string>* problems) {
  std::string lost;  // the folder the walk may have left, with its final "\"
  const std::string all = "*.*";
  bool listing = call.first == Op::FindFirstFileA || call.first == Op::FindNextFileA;
  if (listing && call.second.size() > all.size() &&
      call.second.compare(call.second.size() - all.size(), all.size(), all) == 0) {
    lost = call.second.substr(0, call.second.size() - all.size());
  }
  std::vector<std::string> shown = w.Shown();
  for (const Sample& s : Tree()) {
    if (s.kind == Kind::kMarker || s.path.find("\\.") != std::string::npos) continue;
    if (!lost.empty() && Under(s.path, lost)) continue;
    if (!Contains(shown, s.path)) problems->push_back(s.path + " not walked");
  }
}

Subject Walk() {
  Subject s;
  s.name = "walk of D:";
  s.prepare = BuildDrive;
  s.run = [] { ScanTree("D:\\"); };
  s.judge = [](const FaultRun& run, MemoryPlatform& m, FakeWindow& w, std::vector<std::string>* problems) {
    std::size_t before = problems->size();
    JudgeFiles(m, w, problems);
    // Without faults every repair is made and every subfolder marker goes.
    if (run.plan.empty() && (CleanedFiles != 3 || w.Log().size() != 3u + 3u + 3u)) problems->push_back("not all done");
    std::pair<Op, std::string> call = run.call();
    // The machine keeps a search whose FindClose it refused; the walk never
    // closes a handle twice, so that one search stays open.
    int refusedSearches = call.first != Op::FindClose ? 0 : run.persistent() ? 1000 : 1;
    if (!run.CloseRefusedForGood() && m.OpenHandleCount() > refusedSearches) problems->push_back("handle left open");
    if (!run.persistent()) JudgeWalkWentOn(call, w, problems);
    return problems->size() == before ? RepairOutcome::kRepaired : RepairOutcome::kLost;
  };
  s.pairs = false;
  return s;
}

// ---- The loops ---------------------------------------------------------------------

// Every way the nth call, one of op, can fail alone, for a write of size bytes
// (Op::Count: the fault falls on the nth call whatever its operation).
std::vector<PlannedFault> SingleFaults(int nth, Op op, std::uint32_t size, const Subject& s) {
  std::vector<PlannedFault> faults;
  for (FaultKind kind : {FaultKind::kRetryable, FaultKind::kHard}) {
    for (bool persistent : {false, true}) {
      if (persistent && op == Op::WriteFile && !s.persistentWrites) continue;
      faults.push_back({Op::Count, nth, kind, 10, persistent});
    }
  }
  if (op != Op::WriteFile) return faults;
  for (std::uint32_t bytes : std::set<std::uint32_t>{0u, 1u, size / 2, size - 1}) {
    for (FaultKind kind : {FaultKind::kWriteCut, FaultKind::kWriteCutShort}) faults.push_back({Op::Count, nth, kind, bytes});
  }
  return faults;
}

// The kinds a pair's faults take at a call of op.
std::vector<FaultKind> PairKinds(Op op) {
  if (op == Op::WriteFile) {
    return {FaultKind::kRetryable, FaultKind::kHard, FaultKind::kWriteCut, FaultKind::kWriteCutShort};
  }
  return {FaultKind::kRetryable, FaultKind::kHard};
}

class Faults : public ::testing::Test {
 protected:
  void TearDown() override {
    SetWindow(nullptr);
    SetPlatform(nullptr);
  }

  struct Run {
    RepairOutcome outcome = RepairOutcome::kUntouched;
    int fired = 0;
    bool isVoid = false;
    std::vector<Op> ops;
    std::vector<std::uint32_t> writes;  // the size of every write, in order
  };

  // Runs the subject under the plan on a fresh machine and judges it; a run
  // whose fault cannot fall on its call (void) is not judged.
  Run RunPlan(const Subject& s, const std::vector<PlannedFault>& plan) {
    MemoryPlatform m;
    FaultPlanPlatform p(m);
    FakeWindow w;
    s.prepare(m, w);
    m.SetTracing(plan.empty());  // the sizes of a fault-free run's writes
    SetPlatform(&p);
    SetWindow(&w);
    p.SetPlan(plan);
    s.run();
    SetPlatform(nullptr);
    Run run;
    run.fired = p.Fired();
    run.isVoid = p.Void();
    run.ops = p.CallOps();
    for (const std::string& line : m.Trace()) {
      if (line.compare(0, 10, "WriteFile ") == 0) run.writes.push_back(std::stoul(line.substr(10)));
    }
    if (run.isVoid) return run;
    std::vector<std::string> problems;
    run.outcome = s.judge(FaultRun{plan, p}, m, w, &problems);
    std::string faults;
    for (const std::string& f : p.FiredAt()) faults += "\n  " + f;
    for (const std::string& problem : problems) ADD_FAILURE() << s.name << ": " << problem << faults;
    return run;
  }

  // Each call of a fault-free run fails alone in every way that fits it.
  FaultTally EveryCallFails(const Subject& s, const Run& clean) {
    FaultTally tally;
    std::size_t write = 0;
    for (int nth = 1; nth <= static_cast<int>(clean.ops.size()); ++nth) {
      Op op = clean.ops[nth - 1];
      std::uint32_t size = op == Op::WriteFile ? clean.writes[write++] : 0;
      for (const PlannedFault& fault : SingleFaults(nth, op, size, s)) {
        Run one = RunPlan(s, {fault});
        if (one.isVoid || one.fired == 0) continue;
        tally.Add(one.outcome);
        // A passing fault after the file was read is outlasted by the next attempt.
        bool passing = fault.kind == FaultKind::kRetryable && !fault.persistent && nth > s.calls;
        EXPECT_TRUE(!passing || one.outcome == RepairOutcome::kRepaired) << s.name << " " << OpName(op) << " #" << nth;
      }
    }
    return tally;
  }

  // Every ordered pair of faults over the calls after the subject's first
  // ones: the first at any call, the second at any later call of that run.
  FaultTally EveryPairFails(const Subject& s, const Run& clean) {
    FaultTally tally;
    for (int first = s.calls + 1; first <= static_cast<int>(clean.ops.size()); ++first) {
      for (FaultKind k1 : PairKinds(clean.ops[first - 1])) {
        Run one = RunPlan(s, {{Op::Count, first, k1}});
        if (one.isVoid || one.fired == 0) continue;
        for (int later = first + 1; later <= static_cast<int>(one.ops.size()); ++later) {
          for (FaultKind k2 : PairKinds(one.ops[later - 1])) {
            Run two = RunPlan(s, {{Op::Count, first, k1}, {Op::Count, later - first, k2}});
            if (!two.isVoid && two.fired == 2) tally.Add(two.outcome);
          }
        }
      }
    }
    return tally;
  }
};

TEST_F(Faults, EveryFileEndsAsItWasOrRepaired) {
  // A disk that refuses every write after the first chunk has landed cannot
  // take the original back either: persistent write faults stay out there.
  const std::vector<Subject> subjects = {
      Repair(RestorerCase(5000)),
      Repair(RestorerCase(0), true, false),  // the host is empty: no write at all, only the cut
      Repair(RestorerCase(kChunk + 1000), false),
      Repair(CleanerCase(4000)),
      Repair(CleanerCase(0), true, false),  // the page is the pattern: it becomes empty
      Repair(CleanerCase(700000), false),  // 1,050,000 bytes left: two chunks
      Reading(),
      Walk(),
  };
  int cases = 0;
  for (const Subject& s : subjects) {
    Run clean = RunPlan(s, {});
    ASSERT_EQ(clean.outcome, RepairOutcome::kRepaired) << s.name;
    FaultTally one = EveryCallFails(s, clean), two;
    if (s.pairs) two = EveryPairFails(s, clean);
    std::printf("[ faults ] %s: %d single (%d untouched, %d repaired), %d pairs (%d untouched, %d repaired)\n",
                s.name.c_str(), one.cases, one.untouched, one.repaired, two.cases, two.untouched, two.repaired);
    EXPECT_GT(one.cases, 40) << s.name;
    if (s.pairs) {
      EXPECT_GT(two.untouched * two.repaired, 0) << s.name;  // both ends reached
    }
    cases += one.cases + two.cases;
  }
  EXPECT_GT(cases, 3000);
}

}  // namespace
}  // namespace vx
