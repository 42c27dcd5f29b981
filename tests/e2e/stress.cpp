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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
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
  std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.is_open() && !in.bad();
}

// Every file below `folder` (ending in "\"), as paths relative to it.
void ListFiles(const std::string& folder, const std::string& relative, std::vector<std::string>* files) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(Wide(folder + relative + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = Utf8(entry.cFileName);
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListFiles(folder, relative + name + "\\", files);
    } else {
      files->push_back(relative + name);
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

bool ResetTree(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    for (size_t slash = file.find('\\'); slash != std::string::npos; slash = file.find('\\', slash + 1))
      CreateDirectoryW(Wide(kRoot + file.substr(0, slash)).c_str(), nullptr);
    if (!CopyFileW(Wide(kPristine + file).c_str(), Wide(kRoot + file).c_str(), FALSE)) return false;
  }
  return true;
}

// One line of the walk: what the log says and what the disk must then show.
struct WalkLine {
  std::string text;      // as logged
  std::string relative;  // the file below the root of D:
  bool deletes = false;  // a marker: gone when done; otherwise repaired in place
};

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The tree and its walk, as one whole scan sees them.
struct Walk {
  std::vector<WalkLine> lines;       // in walk order
  std::map<std::string, int> index;  // each line's place in `lines`
  std::vector<std::string> files;    // every file of the tree
  long restorable = 0;               // programs one walk restores
};

Walk ReadWalk(const std::string& path) {
  Walk walk;
  std::ifstream in(path, std::ios::binary);
  const std::string deleted = vx::kDeletedLog, page = vx::kPageCleanedLog, restored = vx::kRestoredLog;
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    WalkLine w;
    w.text = line;
    const std::string& tail = EndsWith(w.text, deleted) ? deleted : EndsWith(w.text, page) ? page : restored;
    w.deletes = &tail == &deleted;
    w.relative = w.text.substr(std::strlen(kRoot), w.text.size() - tail.size() - std::strlen(kRoot));
    walk.index[w.text] = static_cast<int>(walk.lines.size());
    walk.restorable += &tail == &restored;
    walk.lines.push_back(w);
  }
  ListFiles(kPristine, "", &walk.files);
  return walk;
}

enum class FileState { kAsBefore, kDone, kDamaged };

FileState StateOf(const WalkLine& w) {
  std::string now, before, after;
  bool present = ReadWhole(kRoot + w.relative, &now);
  ReadWhole(kPristine + w.relative, &before);
  if (w.deletes ? !present : present && ReadWhole(kExpected + w.relative, &after) && now == after)
    return FileState::kDone;
  return present && now == before ? FileState::kAsBefore : FileState::kDamaged;
}

// ---- one sequence ------------------------------------------------------------

// What a sequence can find wrong; the summary counts the sequences that found each.
enum Fault { kHang, kDoubleWalker, kLost, kInconsistent, kDamaged, kWrongWhileScanning, kFaults };

struct Sequence {
  std::string actions;                 // what was done, for the report
  std::vector<std::vector<int>> logs;  // walk-line indices of each log read before a clear, and of the last
  std::vector<std::string> problems;
  bool found[kFaults] = {};
  bool scanSinceStop = false;  // "全盘杀毒" was pressed and no "停止杀毒" since

  void Problem(Fault fault, const std::string& what) {
    found[fault] = true;
    problems.push_back(what);
  }
};

std::vector<int> WalkIndices(const std::vector<std::string>& lines, const Walk& walk, Sequence* seq) {
  std::vector<int> indices;
  for (const std::string& line : lines) {
    auto it = walk.index.find(line);
    if (it != walk.index.end())
      indices.push_back(it->second);
    else if (EndsWith(line, vx::kRestoredLog) || EndsWith(line, vx::kDeletedLog))
      seq->Problem(kDamaged, "a repair line no walk writes: " + line);
  }
  return indices;
}

// A look at the window while a scan runs that no stop has ended.
void JudgeRunningScan(const Snapshot& s, Sequence* seq) {
  if (!seq->scanSinceStop || !s.settled || seq->found[kWrongWhileScanning]) return;
  if ((s.startEnabled && s.panel[0] == kScanning) || s.panel[0] == kStopped)
    seq->Problem(kWrongWhileScanning, "during the scan: " + s.panel[0] + (s.startEnabled ? ", 全盘杀毒 enabled" : ""));
}

// Waits until no scan runs ("全盘杀毒" enabled, panel 0 not "正在扫描") and
// nothing changes for a second; `end` is the last look.
bool WaitQuiet(const Form& f, DWORD timeoutMs, Snapshot* end, Sequence* seq = nullptr) {
  DWORD quietSince = GetTickCount();
  *end = Look(f);
  return WaitFor(timeoutMs, 100, [&] {
    Snapshot now = Look(f);
    if (seq) JudgeRunningScan(now, seq);
    if (!Same(now, *end)) quietSince = GetTickCount();
    *end = now;
    return now.startEnabled && now.panel[0] != kScanning && GetTickCount() - quietSince >= 1000;
  });
}

int Pause(std::mt19937& random) {
  int kind = std::uniform_int_distribution<int>(0, 9)(random);
  if (kind < 3) return 0;  // presses back to back
  if (kind < 7) return std::uniform_int_distribution<int>(1, 150)(random);
  return std::uniform_int_distribution<int>(150, 2000)(random);
}

// The presses of a sequence, each drawn with its share of 100 (the rest of the
// draws press nothing); each returns its mark for the report.
struct Press {
  int share;
  const char* (*press)(const Form& f, const Walk& walk, Sequence* seq);
};
const Press kPresses[] = {
    {35, [](const Form& f, const Walk&, Sequence* seq) {
       if (!Enabled(f.button3)) return " (S)";  // a user cannot press a disabled button
       Click(f.button3);
       seq->scanSinceStop = true;
       return " S";
     }},
    {30, [](const Form& f, const Walk&, Sequence* seq) {
       Click(f.button2);
       seq->scanSinceStop = false;
       return " T";
     }},
    {20, [](const Form& f, const Walk& walk, Sequence* seq) {
       seq->logs.push_back(WalkIndices(LogLines(f), walk, seq));
       Click(f.button4);
       return " C";
     }}};

void RunActions(const Form& f, std::mt19937& random, const Walk& walk, Sequence* seq) {
  // Each sequence starts with an empty log, so that its own lines tell it all.
  Click(f.button4);
  seq->actions = "C";
  int steps = std::uniform_int_distribution<int>(3, 10)(random);
  for (int i = 0; i < steps; ++i) {
    int draw = std::uniform_int_distribution<int>(0, 99)(random);
    for (const Press& p : kPresses) {
      if ((draw -= p.share) >= 0) continue;
      seq->actions += p.press(f, walk, seq);
      break;
    }
    int pause = Pause(random);
    if (pause == 0) continue;
    WaitFor(pause, 25, [&] {  // the window is watched through the pause
      JudgeRunningScan(Look(f), seq);
      return false;
    });
    seq->actions += " " + std::to_string(pause);
  }
}

// Each log read holds a run of consecutive walk lines, and each run lies
// after the one before: the lines between two runs were removed by the clear.
void CheckLogs(Sequence* seq) {
  std::set<int> seen;
  int previousEnd = -1;
  bool twice = false;
  for (const std::vector<int>& run : seq->logs) {
    for (size_t i = 0; i < run.size(); ++i) {
      twice = twice || !seen.insert(run[i]).second;
      if (i > 0 && run[i] != run[i - 1] + 1) seq->found[kLost] = true;
    }
    if (!run.empty()) {
      if (run.front() <= previousEnd) seq->found[kLost] = true;
      previousEnd = run.back();
    }
  }
  if (twice) seq->Problem(kDoubleWalker, "a walk line logged twice");
}

// The disk holds the first walk lines done, every other file as it was;
// returns how many lines are done.
int CheckDisk(const Walk& walk, Sequence* seq) {
  std::set<std::string> walkFiles;
  int done = 0;
  bool prefix = true;
  for (const WalkLine& w : walk.lines) {
    walkFiles.insert(w.relative);
    FileState state = StateOf(w);
    if (state == FileState::kDamaged) seq->Problem(kDamaged, "half done or damaged: " + w.relative);
    if (state == FileState::kDone && done++ != &w - walk.lines.data()) prefix = false;
  }
  if (!prefix) seq->Problem(kLost, "the repairs on the disk are not the start of the walk");
  for (const std::string& file : walk.files) {
    if (walkFiles.count(file)) continue;
    std::string now, before;
    if (!ReadWhole(kRoot + file, &now) || !ReadWhole(kPristine + file, &before) || now != before)
      seq->Problem(kDamaged, "changed though no walk line names it: " + file);
  }
  return done;
}

void CheckEnd(const Snapshot& end, bool everStarted, long walkFiles, long restorable, Sequence* seq) {
  long scanned = PanelCount(end.panel[1], kScannedPrefix);
  long cleaned = PanelCount(end.panel[2], kCleanedPrefix);
  if (scanned > walkFiles) seq->Problem(kDoubleWalker, "panel 1 counts more than one walk: " + end.panel[1]);
  bool idle = everStarted ? Ended(end) : end.startEnabled;
  if (!idle || (end.panel[0] == kFinished && scanned != walkFiles) || cleaned > restorable)
    seq->Problem(kInconsistent, "end state: " + Panels(end) + (end.startEnabled ? "" : " | 全盘杀毒 disabled"));
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
  const Walk walk = ReadWalk("D:\\.walk.txt");
  if (walk.lines.empty() || walk.files.empty() || walkFiles <= 0) {
    std::printf("FAIL stress: no test tree on D: (walk lines %zu, files %zu)\n", walk.lines.size(), walk.files.size());
    return 1;
  }

  RoundTrips pings(f.form, {50, 2000, 2000, nullptr});
  std::mt19937 random(seed);
  int ran = 0, failed = 0, count[kFaults] = {};
  bool everStarted = false, quiet = false;  // quiet: the last sequence ended in a quiet window
  for (int n = 1; n <= sequences; ++n) {
    Sequence seq;
    Snapshot end;
    // The tree is reset under an idle window only; the end of the sequence before has found it so, or
    // another quiet second is waited for.
    if ((!quiet && !WaitQuiet(f, 120000, &end)) || !ResetTree(walk.files)) {
      std::printf("FAIL sequence %d: the window never became idle or the tree could not be reset\n", n);
      ++failed;
      ++count[kHang];
      break;
    }
    long slowBefore = pings.Slow();
    RunActions(f, random, walk, &seq);
    quiet = WaitQuiet(f, 120000, &end, &seq);
    if (!quiet) seq.Problem(kHang, "no quiet end within 120 s");
    seq.logs.push_back(WalkIndices(LogLines(f), walk, &seq));
    CheckLogs(&seq);
    int done = CheckDisk(walk, &seq);
    const std::vector<int>& last = seq.logs.back();
    if (!last.empty() && last.back() != done - 1)
      seq.Problem(kLost, "the log ends at walk line " + std::to_string(last.back() + 1) + ", the disk at " +
                             std::to_string(done));
    if (seq.found[kLost]) seq.problems.push_back("a walk line lost or out of order after the last 清空日志");
    everStarted = everStarted || seq.actions.find(" S") != std::string::npos;
    CheckEnd(end, everStarted, walkFiles, walk.restorable, &seq);
    if (pings.Slow() != slowBefore) seq.Problem(kHang, "the window took 2 s or more to answer");

    ++ran;
    for (int fault = 0; fault < kFaults; ++fault) count[fault] += seq.found[fault];
    bool ok = seq.problems.empty();
    failed += !ok;
    std::printf("%s sequence %d: %s -> %s, %d of %zu walk lines done\n", ok ? "ok" : "FAIL", n,
                seq.actions.c_str(), end.panel[0].c_str(), done, walk.lines.size());
    for (const std::string& problem : seq.problems) std::printf("    %s\n", problem.c_str());
    std::fflush(stdout);
  }
  pings.Stop();
  std::printf("stress: sequences %d, seed %u, hangs %d, slow answers %ld of %ld (longest %ld ms), double walkers %d, "
              "lost or reordered lines %d, inconsistent ends %d, wrong states during a scan %d, damaged files %d\n",
              ran, seed, count[kHang], pings.Slow(), pings.Asked(), pings.LongestMs(), count[kDoubleWalker],
              count[kLost], count[kInconsistent], count[kWrongWhileScanning], count[kDamaged]);
  return failed > 99 ? 99 : failed;
}
