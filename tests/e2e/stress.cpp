// e2e_stress: random sequences of "全盘杀毒", "停止杀毒", "清空日志" and pauses
// of random length against the running program, the way an impatient user
// works it. Before each sequence the test tree on D: is put back as the worm
// left it; after it, once the window has been quiet for a second:
//
//   - the window answered every WM_NULL within 2 s all along (a helper thread
//     asks it every 50 ms);
//   - no second walker ran: no repair or marker line is logged twice, and
//     panel 1 never counts more files than one walk examines;
//   - after the last "清空日志" no log line is lost or out of walk order: the
//     walk's lines in the log are exactly the run of walk lines that ends with
//     the last repair found on the disk;
//   - the disk holds what was logged: the repairs and deleted markers form the
//     start of the walk order, every other file is as it was, none is half done;
//   - panels and "全盘杀毒" agree at the end, and while a scan runs that no
//     stop has ended, the window never shows the button enabled beside
//     "正在扫描,请等待!", nor "扫描中止!" (the window is watched during pauses).
//
//   e2e_stress --sequences N --seed S --files F
//
// F is the number of files one walk examines. scripts/stress.sh lays out D::
// D:\.pristine (the tree as infected), D:\.expected (every file after a whole
// scan, deleted ones missing) and D:\.walk.txt (the walk's log lines in walk
// order, UTF-8). The walk passes over names that start with ".".
//
// Prints a line per sequence and a summary; the exit code is the number of
// failed sequences (capped).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/form_probe.h"

namespace {

using namespace e2e;

const char kRoot[] = "D:\\";
const char kPristine[] = "D:\\.pristine\\";
const char kExpected[] = "D:\\.expected\\";

// ---- the test tree ------------------------------------------------------

bool ReadWhole(const std::string& path, std::string* bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char block[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(file, block, sizeof block, &got, nullptr) != FALSE) && got > 0) bytes->append(block, got);
  CloseHandle(file);
  return ok;
}

// Every file below `folder` (ending in "\"), as paths relative to it.
void ListFiles(const std::string& folder, const std::string& relative, std::vector<std::string>* files) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((folder + relative + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder, relative + name + "\\", files);
    } else {
      files->push_back(relative + name);
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

bool ResetTree(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    for (size_t slash = file.find('\\'); slash != std::string::npos; slash = file.find('\\', slash + 1))
      CreateDirectoryA((kRoot + file.substr(0, slash)).c_str(), nullptr);
    if (!CopyFileA((kPristine + file).c_str(), (kRoot + file).c_str(), FALSE)) return false;
  }
  return true;
}

// One line of the walk: what the log says and what the disk must then show.
struct WalkLine {
  std::string text;      // GBK, as logged
  std::string relative;  // the file below D:\, GBK
  bool deletes = false;  // a marker: gone when done; otherwise repaired in place
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<WalkLine> ReadWalk(const std::string& path) {
  std::vector<WalkLine> walk;
  std::ifstream in(path, std::ios::binary);
  const std::string deleted = vx::kDeletedLog, page = vx::kPageCleanedLog, restored = vx::kRestoredLog;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    WalkLine w;
    w.text = Gbk(line);
    const std::string& tail = EndsWith(w.text, deleted) ? deleted : EndsWith(w.text, page) ? page : restored;
    w.deletes = &tail == &deleted;
    w.relative = w.text.substr(std::strlen(kRoot), w.text.size() - tail.size() - std::strlen(kRoot));
    walk.push_back(w);
  }
  return walk;
}

enum class FileState { kAsBefore, kDone, kDamaged };

FileState StateOf(const WalkLine& w) {
  std::string now, before, after;
  bool present = ReadWhole(kRoot + w.relative, &now);
  ReadWhole(kPristine + w.relative, &before);
  if (w.deletes) {
    if (!present) return FileState::kDone;
    return now == before ? FileState::kAsBefore : FileState::kDamaged;
  }
  ReadWhole(kExpected + w.relative, &after);
  if (present && now == after) return FileState::kDone;
  return present && now == before ? FileState::kAsBefore : FileState::kDamaged;
}

// ---- the window's answers --------------------------------------------------

// ---- one sequence ------------------------------------------------------------

struct Totals {
  int sequences = 0, failed = 0, hangs = 0, doubleWalkers = 0, lostLines = 0, inconsistentEnds = 0, damaged = 0,
      wrongWhileScanning = 0;
};

struct Sequence {
  std::string actions;                 // what was done, for the report
  std::vector<std::vector<int>> logs;  // walk-line indices of each log read before a clear, and of the last
  std::vector<std::string> problems;  // GBK
  bool hang = false, doubleWalker = false, lost = false, inconsistent = false, damaged = false;
  bool wrongWhileScanning = false;
  bool scanSinceStop = false;  // "全盘杀毒" was pressed and no "停止杀毒" since
};

std::vector<int> WalkIndices(const std::vector<std::string>& lines, const std::map<std::string, int>& index,
                             const std::vector<std::string>& walkTails, Sequence* seq) {
  std::vector<int> found;
  for (const std::string& line : lines) {
    auto it = index.find(line);
    if (it != index.end()) {
      found.push_back(it->second);
      continue;
    }
    for (const std::string& tail : walkTails) {
      if (EndsWith(line, tail)) {
        seq->problems.push_back("a repair line no walk writes: " + line);
        seq->damaged = true;
      }
    }
  }
  return found;
}

// A look at the window while a scan runs that no stop has ended.
void JudgeRunningScan(const Snapshot& s, Sequence* seq) {
  if (!seq->scanSinceStop || !s.settled || seq->wrongWhileScanning) return;
  bool wrong = (s.startEnabled && s.panel[0] == kScanning) || s.panel[0] == kStopped;
  if (!wrong) return;
  seq->wrongWhileScanning = true;
  seq->problems.push_back("during the scan: " + s.panel[0] + (s.startEnabled ? ", 全盘杀毒 enabled" : ""));
}

// Watches the window for the given time.
void Watch(const Form& f, int ms, Sequence* seq) {
  DWORD start = GetTickCount();
  do {
    JudgeRunningScan(Look(f), seq);
    Sleep(25);
  } while (static_cast<int>(GetTickCount() - start) < ms);
}

// Waits until no scan runs ("全盘杀毒" enabled, panel 0 not "正在扫描") and
// nothing changes for a second.
bool WaitQuiet(const Form& f, DWORD timeoutMs, Snapshot* end, Sequence* seq = nullptr) {
  DWORD start = GetTickCount(), quietSince = GetTickCount();
  Snapshot last = Look(f);
  for (;;) {
    Sleep(100);
    Snapshot now = Look(f);
    if (seq) JudgeRunningScan(now, seq);
    bool same = now.panel[0] == last.panel[0] && now.panel[1] == last.panel[1] && now.panel[2] == last.panel[2] &&
                now.edit1 == last.edit1 && now.startEnabled == last.startEnabled;
    if (!same) quietSince = GetTickCount();
    last = now;
    if (now.startEnabled && now.panel[0] != kScanning && GetTickCount() - quietSince >= 1000) break;
    if (GetTickCount() - start > timeoutMs) {
      *end = now;
      return false;
    }
  }
  *end = last;
  return true;
}

int Pause(std::mt19937& random) {
  int kind = std::uniform_int_distribution<int>(0, 9)(random);
  if (kind < 3) return 0;  // presses back to back
  if (kind < 7) return std::uniform_int_distribution<int>(1, 150)(random);
  return std::uniform_int_distribution<int>(150, 2000)(random);
}

void RunActions(const Form& f, std::mt19937& random, const std::map<std::string, int>& index,
                const std::vector<std::string>& walkTails, Sequence* seq) {
  // Each sequence starts with an empty log, so that its own lines tell it all.
  Click(f.button4);
  seq->actions = "C";
  int steps = std::uniform_int_distribution<int>(3, 10)(random);
  for (int i = 0; i < steps; ++i) {
    int action = std::uniform_int_distribution<int>(0, 99)(random);
    if (action < 35) {
      if (Enabled(f.button3)) {
        Click(f.button3);
        seq->scanSinceStop = true;
        seq->actions += " S";
      } else {
        seq->actions += " (S)";  // a user cannot press a disabled button
      }
    } else if (action < 65) {
      Click(f.button2);
      seq->scanSinceStop = false;
      seq->actions += " T";
    } else if (action < 85) {
      seq->logs.push_back(WalkIndices(LogLines(f), index, walkTails, seq));
      Click(f.button4);
      seq->actions += " C";
    }
    int pause = Pause(random);
    if (pause > 0) {
      Watch(f, pause, seq);
      seq->actions += " " + std::to_string(pause);
    }
  }
}

// Each log read holds a run of consecutive walk lines, and each run lies
// after the one before: the lines between two runs were removed by the clear.
void CheckLogs(Sequence* seq) {
  std::set<int> seen;
  int previousEnd = -1;
  for (const std::vector<int>& run : seq->logs) {
    for (size_t i = 0; i < run.size(); ++i) {
      if (!seen.insert(run[i]).second) seq->doubleWalker = true;
      if (i > 0 && run[i] != run[i - 1] + 1) seq->lost = true;
    }
    if (!run.empty()) {
      if (run.front() <= previousEnd) seq->lost = true;
      previousEnd = run.back();
    }
  }
  if (seq->doubleWalker) seq->problems.push_back("a walk line logged twice");
}

void CheckDisk(const std::vector<WalkLine>& walk, const std::vector<std::string>& files, Sequence* seq,
               int* doneCount) {
  std::set<std::string> walkFiles;
  int done = 0;
  bool prefix = true;
  for (const WalkLine& w : walk) {
    walkFiles.insert(w.relative);
    FileState state = StateOf(w);
    if (state == FileState::kDamaged) {
      seq->damaged = true;
      seq->problems.push_back("half done or damaged: " + w.relative);
    }
    if (state == FileState::kDone) {
      if (done != &w - walk.data()) prefix = false;
      ++done;
    }
  }
  if (!prefix) {
    seq->lost = true;
    seq->problems.push_back("the repairs on the disk are not the start of the walk");
  }
  for (const std::string& file : files) {
    if (walkFiles.count(file)) continue;
    std::string now, before;
    if (!ReadWhole(kRoot + file, &now) || !ReadWhole(kPristine + file, &before) || now != before) {
      seq->damaged = true;
      seq->problems.push_back("changed though no walk line names it: " + file);
    }
  }
  *doneCount = done;
}

void CheckEnd(const Snapshot& end, bool everStarted, long walkFiles, long restorable, Sequence* seq) {
  long scanned = PanelCount(end.panel[1], kScannedPrefix);
  long cleaned = PanelCount(end.panel[2], kCleanedPrefix);
  if (scanned > walkFiles) {
    seq->doubleWalker = true;
    seq->problems.push_back("panel 1 counts more than one walk: " + end.panel[1]);
  }
  bool idle = everStarted ? Ended(end) : end.startEnabled;
  bool consistent = idle && (end.panel[0] != kFinished || scanned == walkFiles) && cleaned <= restorable;
  if (!consistent) {
    seq->inconsistent = true;
    seq->problems.push_back("end state: " + end.panel[0] + " | " + end.panel[1] + " | " + end.panel[2] +
                            (end.startEnabled ? "" : " | 全盘杀毒 disabled"));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int sequences = std::atoi(Option(argc, argv, "--sequences", "30"));
  const unsigned seed = static_cast<unsigned>(std::strtoul(Option(argc, argv, "--seed", "1"), nullptr, 10));
  const long walkFiles = std::atol(Option(argc, argv, "--files", "-1"));
  std::printf("stress: %d sequences, seed %u\n", sequences, seed);
  std::fflush(stdout);

  Form f = FindForm(60000);
  if (!f.form) {
    std::printf("FAIL stress: the main window is not there\n");
    return 1;
  }
  std::vector<WalkLine> walk = ReadWalk("D:\\.walk.txt");
  std::vector<std::string> files;
  ListFiles(kPristine, "", &files);
  if (walk.empty() || files.empty() || walkFiles <= 0) {
    std::printf("FAIL stress: no test tree on D: (walk lines %zu, files %zu)\n", walk.size(), files.size());
    return 1;
  }
  std::map<std::string, int> index;
  long restorable = 0;
  for (size_t i = 0; i < walk.size(); ++i) {
    index[walk[i].text] = static_cast<int>(i);
    restorable += !walk[i].deletes && !EndsWith(walk[i].text, vx::kPageCleanedLog);
  }
  const std::vector<std::string> walkTails = {vx::kRestoredLog, vx::kDeletedLog};

  RoundTrips pings(f.form, {50, 2000, 2000, nullptr});
  std::mt19937 random(seed);
  Totals totals;
  bool everStarted = false;
  for (int n = 1; n <= sequences; ++n) {
    Sequence seq;
    Snapshot before;
    if (!WaitQuiet(f, 120000, &before) || !ResetTree(files)) {
      std::printf("FAIL sequence %d: the window never became idle or the tree could not be reset\n", n);
      ++totals.failed;
      ++totals.hangs;
      break;
    }
    long slowBefore = pings.Slow();
    RunActions(f, random, index, walkTails, &seq);
    Snapshot end;
    seq.hang = !WaitQuiet(f, 120000, &end, &seq);
    if (seq.hang) seq.problems.push_back("no quiet end within 120 s");
    seq.logs.push_back(WalkIndices(LogLines(f), index, walkTails, &seq));
    CheckLogs(&seq);
    int done = 0;
    CheckDisk(walk, files, &seq, &done);
    const std::vector<int>& last = seq.logs.back();
    if (!last.empty() && last.back() != done - 1) {
      seq.lost = true;
      seq.problems.push_back("the log ends at walk line " + std::to_string(last.back() + 1) + ", the disk at " +
                             std::to_string(done));
    }
    if (seq.lost) seq.problems.push_back("a walk line lost or out of order after the last 清空日志");
    everStarted = everStarted || seq.actions.find(" S") != std::string::npos;
    CheckEnd(end, everStarted, walkFiles, restorable, &seq);
    bool slow = pings.Slow() != slowBefore;
    if (slow) seq.problems.push_back("the window took 2 s or more to answer");

    ++totals.sequences;
    totals.hangs += seq.hang || slow;
    totals.doubleWalkers += seq.doubleWalker;
    totals.lostLines += seq.lost;
    totals.inconsistentEnds += seq.inconsistent;
    totals.damaged += seq.damaged;
    totals.wrongWhileScanning += seq.wrongWhileScanning;
    bool ok = seq.problems.empty();
    totals.failed += !ok;
    std::printf("%s sequence %d: %s -> %s, %d of %zu walk lines done\n", ok ? "ok" : "FAIL", n,
                seq.actions.c_str(), Utf8(end.panel[0]).c_str(), done, walk.size());
    for (const std::string& problem : seq.problems) std::printf("    %s\n", Utf8(problem).c_str());
    std::fflush(stdout);
  }
  pings.Stop();
  std::printf("stress: sequences %d, seed %u, hangs %d, slow answers %ld of %ld (longest %ld ms), double walkers %d, "
              "lost or reordered lines %d, inconsistent ends %d, wrong states during a scan %d, damaged files %d\n",
              totals.sequences, seed, totals.hangs, pings.Slow(), pings.Asked(), pings.LongestMs(),
              totals.doubleWalkers, totals.lostLines, totals.inconsistentEnds, totals.wrongWhileScanning,
              totals.damaged);
  return totals.failed > 99 ? 99 : totals.failed;
}
