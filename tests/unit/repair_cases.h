// One repair of one file as the fault loops run it: the file before and after,
// the log line it earns, and the check that a run under faults kept the
// promise: the file is exactly as it was and nothing was said, or it is fully
// repaired and reported once; no file beside it, no handle left open.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/clean_web_page.h"
#include "engine/restore_infected_file.h"
#include "engine/scan_control.h"
#include "engine/texts.h"
#include "testbed/memory_platform.h"
#include "tests/test_helpers.h"
#include "tests/unit/fake_window.h"

namespace vx {

struct RepairCase {
  std::string name;
  std::string path, before, after, line;
  bool counted;  // the restorer counts and shows the count; the cleaner does not
  std::function<void(const std::string&)> run;
};

inline const std::string& TestPattern() {
  static const std::string pattern = kDefaultPattern;
  return pattern;
}

inline std::string TestBytes(std::size_t size, int seed) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(1 + (i * 13 + seed) % 250);
  return s;
}

inline RepairCase RestorerCase(std::size_t hostSize) {
  std::string host = TestBytes(hostSize, 1);
  const std::string path = "C:\\apps\\tool.exe";
  return {"program of " + std::to_string(hostSize),
          path,
          vxtest::InfectedProgram(TestBytes(300, 2), host),
          host,
          path + kRestoredLog,
          true,
          RestoreInfectedFile};
}

inline RepairCase CleanerCase(std::size_t around) {
  std::string head = TestBytes(around, 3), tail = TestBytes(around / 2, 4);
  const std::string path = "C:\\apps\\index.htm";
  return {"page of " + std::to_string(head.size() + tail.size()),
          path,
          head + TestPattern() + tail,
          head + tail,
          path + kPageCleanedLog,
          false,
          CleanWebPage};
}

enum class RepairOutcome { kUntouched, kRepaired, kLost };

// Sets up the file and the counters on machine and window before a run.
inline void PrepareRepair(const RepairCase& r, MemoryPlatform& m, FakeWindow& w) {
  w.pattern = TestPattern();
  CleanedFiles = 0;
  m.AddFile(r.path, r.before);
}

// What a run left behind; *problems gets one line per broken promise.
inline RepairOutcome JudgeRepair(const RepairCase& r, MemoryPlatform& m, FakeWindow& w, bool handleMayLeak,
                                 std::vector<std::string>* problems) {
  auto expect = [&](bool ok, const std::string& what) {
    if (!ok) problems->push_back(what);
  };
  std::string now = m.FileBytes(r.path);
  RepairOutcome outcome = RepairOutcome::kLost;
  if (now == r.before) {
    outcome = RepairOutcome::kUntouched;
    expect(w.Log().empty(), "untouched file reported: " + (w.Log().empty() ? "" : w.Log()[0]));
    expect(CleanedFiles == 0, "untouched file counted");
    expect(w.panels[2] == kPanelCleanedPrefix, "untouched file shown in panel 2");
  } else if (now == r.after) {
    outcome = RepairOutcome::kRepaired;
    expect(w.Log() == std::vector<std::string>{r.line},
           "repaired file reported " + std::to_string(w.Log().size()) + " times");
    expect(CleanedFiles == (r.counted ? 1 : 0), "repaired file counted " + std::to_string(CleanedFiles));
    expect(w.panels[2] == kPanelCleanedPrefix + std::string(r.counted ? "1" : ""), "panel 2 reads " + w.panels[2]);
  } else {
    problems->push_back("file damaged: " + std::to_string(now.size()) + " bytes, neither before nor after");
  }
  std::string folder = r.path.substr(0, r.path.rfind('\\'));
  expect(m.ListNames(folder) == std::vector<std::string>{r.path.substr(folder.size() + 1)}, "stray file");
  // A handle the machine refuses ever to close is the machine's, not a leak of ours.
  expect(handleMayLeak || m.OpenHandleCount() == 0, "handle left open");
  return outcome;
}

// Tallies of a fault loop, printed by the test so its reach can be seen.
struct FaultTally {
  int cases = 0, untouched = 0, repaired = 0, lost = 0;
  void Add(RepairOutcome o) {
    ++cases;
    if (o == RepairOutcome::kUntouched) ++untouched;
    if (o == RepairOutcome::kRepaired) ++repaired;
    if (o == RepairOutcome::kLost) ++lost;
  }
};

}  // namespace vx
