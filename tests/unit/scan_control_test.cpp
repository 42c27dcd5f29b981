#include <atomic>
#include <random>
#include <set>
#include <thread>

#include "engine/commands.h"
#include "engine/restore_infected_file.h"
#include "engine/scan_tree.h"
#include "engine/rewrite_guard.h"
#include "tests/test_helpers.h"
#include "tests/unit/engine_fixture.h"
#include "tests/unit/thread_gate.h"

namespace vx {
namespace {

using vxtest::Gate;

// An infected program as the worm leaves it.
std::string Infected(const std::string& host) { return vxtest::InfectedProgram("MZworm body", host); }

class ScanControlTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    machine.SetTracing(true);
  }
  void WaitForWorker() {
    Handle worker = ScanWorkerHandle();
    ASSERT_NE(worker, kNullHandle);
    ASSERT_EQ(machine.WaitForSingleObject(worker, 20000), kWaitObject0);
  }
  // Drive roots listed by the walk, in order.
  std::vector<std::string> RootListings() {
    std::vector<std::string> roots;
    for (const std::string& line : TraceOf("FindFirstFileA ")) {
      if (line.size() == std::string("FindFirstFileA C:\\*.*").size() && line.substr(17) == "\\*.*") {
        roots.push_back(line.substr(15, 2));
      }
    }
    return roots;
  }
  std::vector<std::string> Shown() {
    std::vector<std::string> shown;
    for (const std::string& op : window.Ops()) {
      if (op.compare(0, 5, "file ") == 0) shown.push_back(op.substr(5));
    }
    return shown;
  }
};

TEST_F(ScanControlTest, ListsRemovableFixedAndRemoteDrivesOnly) {
  machine.AddDrive('A', kDriveRemovable);
  machine.AddDrive('D', kDriveUnknown);
  machine.AddDrive('E', kDriveRemote);
  machine.AddDrive('F', kDriveCdrom);
  machine.AddDrive('G', kDriveRamdisk);
  machine.AddDrive('H', kDriveRemovable);
  EXPECT_EQ(ListScanDrives(), "ACEH");
}

TEST_F(ScanControlTest, WalksDrivesFromTheHighestLetterDownAndReportsTheEnd) {
  machine.AddDrive('A', kDriveRemovable);
  machine.AddDrive('B', kDriveRemovable);
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('E', kDriveRemovable);
  machine.AddDrive('F', kDriveCdrom);
  machine.AddFile("D:\\last.txt", "x");
  StartFullScan();
  WaitForWorker();
  EXPECT_EQ(RootListings(), (std::vector<std::string>{"E:", "D:", "C:"}));
  auto ops = window.Ops();
  ASSERT_GE(ops.size(), 2u);
  EXPECT_EQ(ops[ops.size() - 2], "status 0 扫描完成!");
  EXPECT_EQ(ops.back(), "enable 1");
  EXPECT_TRUE(ScanStopped);
  EXPECT_EQ(window.currentFile, "D:\\last.txt");
  // The finer timer is asked for once and given back.
  EXPECT_EQ(TraceOf("TimeBeginPeriod").size(), 1u);
  EXPECT_EQ(machine.TimerPeriodDepth(), 0);
}

TEST_F(ScanControlTest, OnlyFloppiesMeansAnImmediateEnd) {
  MemoryPlatform bare;
  bare.SetDriveType('C', kDriveCdrom);
  bare.AddDrive('A', kDriveRemovable);
  bare.AddFile("A:\\x.exe", "x");
  SetPlatform(&bare);
  StartFullScan();
  ASSERT_EQ(bare.WaitForSingleObject(ScanWorkerHandle(), 20000), kWaitObject0);
  EXPECT_EQ(window.Ops(), (std::vector<std::string>{"status 0 扫描完成!", "enable 1"}));
  EXPECT_EQ(ScannedFiles, 0);
  SetPlatform(&machine);
}

// C:, D: and E: present; the stop comes while D: is walked. D: ends after its
// current entry; C: is still listed, handles its first entry and ends.
TEST_F(ScanControlTest, StopDuringADriveStillTouchesTheFirstEntryOfLaterDrives) {
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('E', kDriveFixed);
  machine.AddFile("E:\\e.txt", "x");
  machine.AddFile("D:\\d1.txt", "x");
  machine.AddFile("D:\\d2.txt", "x");
  machine.AddFile("C:\\c1.txt", "x");
  machine.AddFile("C:\\c2.txt", "x");
  window.onOp = [](const std::string& op) {
    if (op == "file D:\\d1.txt") RequestScanStop();
  };
  StartFullScan();
  WaitForWorker();
  EXPECT_EQ(RootListings(), (std::vector<std::string>{"E:", "D:", "C:"}));
  // C:'s first entry is its windows folder, whose walk ends after one entry.
  EXPECT_EQ(Shown(), (std::vector<std::string>{"E:\\e.txt", "D:\\d1.txt"}));
  EXPECT_EQ(window.panels[0], "扫描中止!");
  EXPECT_TRUE(window.fullScanEnabled);
}

TEST_F(ScanControlTest, StopBeforeAnyScanLeavesTheFlagSetUntilTheNextStart) {
  StopScanCommand();
  EXPECT_TRUE(ScanStopped);
  EXPECT_TRUE(window.fullScanEnabled);
  EXPECT_EQ(ScanWorkerHandle(), kNullHandle);
  StartFullScan();
  WaitForWorker();
  EXPECT_EQ(window.panels[0], "扫描完成!");
}

// A start pressed right after a stop, while the stopped worker is still busy
// with its current entry, must not walk beside it: the new walk begins only
// after the old worker has ended, and only the new scan reports.
TEST_F(ScanControlTest, StartRightAfterStopNeverRunsTwoWalks) {
  machine.AddDrive('D', kDriveFixed);
  for (int i = 0; i < 5; ++i) machine.AddFile("D:\\f" + std::to_string(i) + ".txt", "x");
  Gate gate;
  std::atomic<bool> held{false};
  machine.OnSleep([&](std::uint32_t) {
    if (ScannedFiles == 2 && !held.exchange(true)) gate.Hold();
  });
  StartFullScan();
  gate.WaitUntilReached();
  StopScanCommand();
  ScannedFiles = 0;
  StartFullScan();
  EXPECT_TRUE(ScanWorkerRunning());
  gate.Open();
  WaitForWorker();
  // The first walk showed two files, the second all five, one after the other.
  std::vector<std::string> expected = {"D:\\f0.txt", "D:\\f1.txt"};
  for (int i = 0; i < 5; ++i) expected.push_back("D:\\f" + std::to_string(i) + ".txt");
  EXPECT_EQ(Shown(), expected);
  auto ops = window.Ops();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "status 0 扫描中止!"), 0);
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "status 0 扫描完成!"), 1);
  EXPECT_EQ(ops.back(), "enable 1");
  EXPECT_EQ(ScannedFiles, 5);
}

// A stop that comes while the new scan still waits for the old worker cancels
// the new scan too.
TEST_F(ScanControlTest, StopWhileWaitingForTheOldWorkerCancelsTheNewScan) {
  machine.AddDrive('D', kDriveFixed);
  for (int i = 0; i < 3; ++i) machine.AddFile("D:\\f" + std::to_string(i) + ".txt", "x");
  Gate gate;
  std::atomic<bool> held{false};
  machine.OnSleep([&](std::uint32_t) {
    if (ScannedFiles == 1 && !held.exchange(true)) gate.Hold();
  });
  StartFullScan();
  gate.WaitUntilReached();
  StopScanCommand();
  StartFullScan();
  StopScanCommand();
  gate.Open();
  WaitForWorker();
  EXPECT_EQ(Shown(), (std::vector<std::string>{"D:\\f0.txt"}));
  EXPECT_EQ(window.panels[0], "扫描中止!");
  EXPECT_TRUE(ScanStopped);
}

TEST_F(ScanControlTest, FullScanCommandRunsItsStepsInOrder) {
  machine.AddFile("C:\\autorun.inf", "x");
  machine.AddProcess("explorer.exe");
  ScannedFiles = 7;
  window.panels[1] = "扫描文件数:7";
  // The real window carries the worker's calls over after the command has
  // returned; here the worker is held until then.
  Gate commandDone;
  machine.OnSleep([&](std::uint32_t) { commandDone.Hold(); });
  FullScanCommand();
  auto ops = window.Ops();
  commandDone.Open();
  ASSERT_EQ(ops.size(), 5u);
  EXPECT_EQ(ops[0], "log C:\\autorun.inf 删除成功!");
  EXPECT_EQ(ops[1], "log 扫描进程:explorer.exe");
  EXPECT_EQ(ops[2], "status 0 正在扫描,请等待!");
  EXPECT_EQ(ops[3], "status 2 已清除文件数:0");
  // The registry value comes first of all.
  auto trace = machine.Trace();
  auto reg = std::find_if(trace.begin(), trace.end(), [](const std::string& l) { return l.rfind("RegCreateKeyExA", 0) == 0; });
  auto del = std::find_if(trace.begin(), trace.end(), [](const std::string& l) { return l.rfind("DeleteFileA", 0) == 0; });
  EXPECT_LT(reg - trace.begin(), del - trace.begin());
  WaitForWorker();
  EXPECT_EQ(ops.back(), "enable 0");
  EXPECT_EQ(window.Ops().back(), "enable 1");
  auto value = machine.RegValue(kHkeyLocalMachine,
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL",
                                "CheckedValue");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, kRegDword);
  EXPECT_EQ(value->data, std::string("\x01\0\0\0", 4));  // the number 1, as REG_DWORD stores it
}

TEST_F(ScanControlTest, StopAndEmptyLogCommandsCleanTheRootsLast) {
  machine.AddFile("C:\\setup.exe", "x");
  StopScanCommand();
  EXPECT_EQ(window.Ops(), (std::vector<std::string>{"enable 1", "log C:\\setup.exe 删除成功!"}));
  machine.AddFile("C:\\autorun.inf", "x");
  EmptyLogCommand();
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"C:\\autorun.inf 删除成功!"}));
}

// No memory outside the walker's own guards, in a command's steps or on the
// worker: the window stays, and a scan so ended ends as a stopped one.
TEST_F(ScanControlTest, AFailureOutsideTheWalkEndsTheCommandOrTheScanNotTheProgram) {
  window.onOp = [](const std::string& op) {
    if (op.rfind("log ", 0) == 0 || op.rfind("status 2", 0) == 0) throw std::bad_alloc();
  };
  for (void (*command)() : {FullScanCommand, StopScanCommand, EmptyLogCommand}) {
    machine.AddFile("C:\\autorun.inf", "x");
    EXPECT_NO_THROW(command());
  }
  CleanedFiles = 3;  // the worker shows the new scan's 0, and finds no memory there
  StartFullScan();
  WaitForWorker();
  window.onOp = nullptr;
  EXPECT_EQ(window.panels[0], "扫描中止!");
  EXPECT_EQ(window.Ops().back(), "enable 1");
}

// ---- One owner for panel 0 and "全盘杀毒" ------------------------------------
// These tests use the window as the real one behaves: the worker's calls wait
// in a queue until the window thread (the test's own) pumps or makes a call.

// A scan with no drive to walk ends at once. However late the window carries
// out the command's own calls, the worker's end report comes after them.
TEST_F(ScanControlTest, AScanThatEndsAtOnceLeavesFullScanEnabled) {
  MemoryPlatform bare;
  bare.SetDriveType('C', kDriveCdrom);
  bare.AddDrive('A', kDriveRemovable);
  SetPlatform(&bare);
  window.QueueCallsFromOtherThreads();
  // The command's disabling of the button is carried out as late as can be:
  // after any worker that exists by then has ended.
  window.beforeWindowThreadOp = [&](const std::string& op) {
    if (op == "enable 0" && ScanWorkerHandle() != kNullHandle) bare.WaitForSingleObject(ScanWorkerHandle(), 20000);
  };
  for (int press = 1; press <= 3; ++press) {
    FullScanCommand();
    ASSERT_EQ(bare.WaitForSingleObject(ScanWorkerHandle(), 20000), kWaitObject0);
    window.Pump();
    EXPECT_EQ(window.Panel(0), "扫描完成!") << "press " << press;
    EXPECT_TRUE(window.FullScanEnabled()) << "press " << press;
  }
  window.beforeWindowThreadOp = nullptr;
  ResetScanControl();
  SetPlatform(&machine);
}

// "停止杀毒" then "全盘杀毒" while the stopped worker is at each step of its
// end: still in its last entry, or in the middle of queueing "扫描中止!" and the
// button. The new scan alone decides panel 0 and the button from its own
// "正在扫描,请等待!" on; the old worker's report lands before it or not at all.
TEST_F(ScanControlTest, AStoppedWorkerNeverReportsIntoTheNextScan) {
  machine.AddDrive('D', kDriveFixed);
  for (int i = 0; i < 3; ++i) machine.AddFile("D:\\f" + std::to_string(i) + ".txt", "x");
  const char* holdPoints[] = {"last entry", "status 0 扫描中止!", "enable 1"};
  for (const std::string hold : holdPoints) {
    SCOPED_TRACE("old worker held at: " + hold);
    FakeWindow w;
    SetWindow(&w);
    w.QueueCallsFromOtherThreads();
    Gate inEntry, inReport;
    std::thread::id firstWorker;
    machine.OnSleep([&](std::uint32_t ms) {
      if (ms == kScanPacingDelay && ScannedFiles == 1 && firstWorker == std::thread::id()) {
        firstWorker = std::this_thread::get_id();
        inEntry.Hold();
      }
    });
    w.onOp = [&](const std::string& op) {
      if (op == hold && std::this_thread::get_id() == firstWorker) inReport.Hold();
    };
    FullScanCommand();
    inEntry.WaitUntilReached();
    StopScanCommand();
    Gate& held = hold == "last entry" ? inEntry : inReport;
    if (&held == &inReport) inEntry.Open();
    std::thread opener = held.OpenSoonAfterReached();
    held.WaitUntilReached();
    FullScanCommand();
    opener.join();
    inEntry.Open();
    WaitForWorker();
    w.Pump();

    auto ops = w.Ops();
    auto start = std::find(ops.rbegin(), ops.rend(), "status 0 正在扫描,请等待!");
    ASSERT_NE(start, ops.rend());
    std::vector<std::string> sinceStart(start.base() - 1, ops.end());
    std::vector<std::string> panel0AndButton;
    for (const std::string& op : sinceStart) {
      if (op.rfind("status 0 ", 0) == 0 || op.rfind("enable ", 0) == 0) panel0AndButton.push_back(op);
    }
    EXPECT_EQ(panel0AndButton, (std::vector<std::string>{"status 0 正在扫描,请等待!", "enable 0",
                                                         "status 0 扫描完成!", "enable 1"}));
    EXPECT_EQ(w.Panel(0), "扫描完成!");
    EXPECT_TRUE(w.FullScanEnabled());
    EXPECT_EQ(ScannedFiles, 3);
    machine.OnSleep(nullptr);
    ResetScanControl();
    SetWindow(&window);
  }
}

// A stopped walk finishes the program it is restoring after a new scan has
// been started, and would go on to the first entry of the next drive. The
// new scan's counters still start at 0 and count its own walk only.
TEST_F(ScanControlTest, CountersOfANewScanStartWithItsOwnWalk) {
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('E', kDriveFixed);
  machine.AddFile("E:\\a.exe", Infected("host a"));
  machine.AddFile("E:\\e.txt", "x");
  machine.AddFile("D:\\d.txt", "x");
  machine.AddFile("D:\\z.exe", Infected("host z"));
  Gate atFirstProgram;
  std::thread::id firstWorker;
  window.onOp = [&](const std::string& op) {
    if (op == "file E:\\a.exe" && firstWorker == std::thread::id()) {
      firstWorker = std::this_thread::get_id();
      atFirstProgram.Hold();
    }
  };
  FullScanCommand();
  atFirstProgram.WaitUntilReached();
  StopScanCommand();
  FullScanCommand();
  atFirstProgram.Open();
  WaitForWorker();
  EXPECT_EQ(machine.FileBytes("E:\\a.exe"), "host a");  // finished by the stopped walk
  EXPECT_EQ(machine.FileBytes("D:\\z.exe"), "host z");
  EXPECT_EQ(ScannedFiles, 4);
  EXPECT_EQ(CleanedFiles, 1);
  EXPECT_EQ(window.panels[1], "扫描文件数:4");
  EXPECT_EQ(window.panels[2], "已清除文件数:1");
  EXPECT_EQ(LogWith("还原成功!"), (std::vector<std::string>{"E:\\a.exe还原成功!", "D:\\z.exe还原成功!"}));
  EXPECT_EQ(Shown(), (std::vector<std::string>{"E:\\a.exe", "E:\\a.exe", "E:\\e.txt", "D:\\d.txt", "D:\\z.exe"}));
}

// Random presses of the three buttons, pumps of the window and pauses, against
// walks of varying speed. After each sequence: the last scan has ended, panel
// 0 and the button agree, a whole walk counts each file once, and no worker
// ever showed a file after a newer one had begun to.
TEST_F(ScanControlTest, RandomPressesNeverLeaveTwoWalkersOrAStuckButton) {
  machine.AddDrive('D', kDriveFixed);
  for (int i = 0; i < 12; ++i) machine.AddFile("D:\\f" + std::to_string(i) + ".txt", "x");
  const int kWalkFiles = 12;  // C: holds no file
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::mutex mu;
  std::uniform_int_distribution<int> pauseUs(0, 200);
  machine.OnSleep([&](std::uint32_t) {
    int us;
    {
      std::lock_guard<std::mutex> lock(mu);
      us = pauseUs(random);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(us));
  });
  for (int sequence = 0; sequence < 300; ++sequence) {
    FakeWindow w;
    SetWindow(&w);
    w.QueueCallsFromOtherThreads();
    // Every other sequence has no drive to walk: each scan then ends at once.
    bool nothingToWalk = sequence % 2 == 1;
    machine.SetDriveType('C', nothingToWalk ? kDriveCdrom : kDriveFixed);
    machine.SetDriveType('D', nothingToWalk ? kDriveCdrom : kDriveFixed);
    std::vector<std::thread::id> showers;  // the thread of each shown file, in order
    w.onOp = [&](const std::string& op) {
      if (op.rfind("file ", 0) != 0) return;
      std::lock_guard<std::mutex> lock(mu);
      showers.push_back(std::this_thread::get_id());
    };
    int steps;
    {
      std::lock_guard<std::mutex> lock(mu);
      steps = std::uniform_int_distribution<int>(2, 10)(random);
    }
    for (int step = 0; step < steps; ++step) {
      int action;
      {
        std::lock_guard<std::mutex> lock(mu);
        action = std::uniform_int_distribution<int>(0, 4)(random);
      }
      if (action == 0 && w.FullScanEnabled()) FullScanCommand();
      if (action == 1) StopScanCommand();
      if (action == 2) EmptyLogCommand();
      if (action == 3) w.Pump();
      if (action == 4) std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    if (ScanWorkerHandle() != kNullHandle) WaitForWorker();
    w.Pump();
    SCOPED_TRACE("sequence " + std::to_string(sequence));
    if (w.Ops().empty()) continue;
    std::string end = w.Panel(0);
    bool scanned = end != "扫描状态";
    if (scanned) {
      EXPECT_TRUE(end == "扫描完成!" || end == "扫描中止!") << end;
      EXPECT_TRUE(w.FullScanEnabled());
    }
    if (end == "扫描完成!") {
      EXPECT_EQ(w.Panel(1), nothingToWalk ? "扫描文件数:" : "扫描文件数:" + std::to_string(kWalkFiles));
    }
    std::set<std::thread::id> done;
    for (std::size_t i = 0; i < showers.size(); ++i) {
      if (i > 0 && showers[i] != showers[i - 1]) done.insert(showers[i - 1]);
      ASSERT_EQ(done.count(showers[i]), 0u) << "a worker showed a file after a newer one";
    }
    ResetScanControl();
    SetWindow(&window);
  }
  machine.OnSleep(nullptr);
}

// ---- The end of the program --------------------------------------------------

// A machine whose writes can be held: the test stops the worker in the middle
// of a rewrite, after its first chunk has landed.
class HoldingMachine : public MemoryPlatform {
 public:
  bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override {
    if (++writes == holdAtWrite) gate.Hold();
    return MemoryPlatform::WriteFile(file, buffer, toWrite, written);
  }
  std::atomic<int> writes{0};
  int holdAtWrite = 0;
  Gate gate;
};

struct SettleProbe {
  HoldingMachine* machine = nullptr;
  std::string path, before, after;
  int waits = 0;
  bool midWayWhenWaitedFor = false;
  int underWayWhenWaitedFor = -1;
};
SettleProbe* probe = nullptr;

// The window's wait while the program ends. The walk's wait runs out at once;
// the next wait sees the rewrite still under way, and only then lets it go on.
bool ProbeWait(Handle worker, std::uint32_t milliseconds) {
  if (++probe->waits == 1) return false;
  if (probe->waits == 2) {
    std::string now = probe->machine->FileBytes(probe->path);
    probe->midWayWhenWaitedFor = now != probe->before && now != probe->after;
    probe->underWayWhenWaitedFor = RewritesUnderWay();
    probe->machine->gate.Open();
  }
  return probe->machine->WaitForSingleObject(worker, milliseconds) == kWaitObject0;
}

std::vector<int> listenerSaw;
std::mutex listenerMu;
void RecordRewriteCount() {
  std::lock_guard<std::mutex> lock(listenerMu);
  listenerSaw.push_back(RewritesUnderWay());
}

// The program ends while a 1.5 MiB program is half rewritten: the end waits
// for that rewrite, however long it takes, and lets no other rewrite begin.
// The stopped walk still reaches the first entry of D:, an infected program,
// which must be left as it is.
TEST_F(ScanControlTest, TheProgramEndsOnlyWhenNoRewriteIsUnderWay) {
  HoldingMachine held;
  held.AddDrive('D', kDriveFixed);
  held.AddDrive('E', kDriveFixed);
  std::string host(1536 * 1024, 'h');
  for (std::size_t i = 0; i < host.size(); i += 4096) host[i] = static_cast<char>('a' + i % 26);
  const std::string big = Infected(host), next = Infected("next host");
  held.AddFile("E:\\big.exe", big);
  held.AddFile("D:\\next.exe", next);
  held.holdAtWrite = 2;  // the second 1 MiB chunk of the first rewrite
  SetPlatform(&held);
  listenerSaw.clear();
  SetRewriteListener(RecordRewriteCount);
  SettleProbe settle;
  settle.machine = &held;
  settle.path = "E:\\big.exe";
  settle.before = big;
  settle.after = host;
  probe = &settle;

  StartFullScan();
  held.gate.WaitUntilReached();
  EXPECT_EQ(RewritesUnderWay(), 1);
  SettleScanForExit(10, ProbeWait);

  EXPECT_TRUE(settle.midWayWhenWaitedFor);
  EXPECT_EQ(settle.underWayWhenWaitedFor, 1);
  EXPECT_EQ(held.FileBytes("E:\\big.exe"), host);  // whole and new when the program may end
  EXPECT_EQ(RewritesUnderWay(), 0);
  EXPECT_EQ(held.FileBytes("D:\\next.exe"), next);
  Handle closed = held.CreateFileA("E:\\big.exe", kGenericRead, 0, kOpenExisting, kAttrNormal);
  EXPECT_NE(closed, kInvalidHandle);  // nobody holds the file open any more
  held.CloseHandle(closed);
  {
    std::lock_guard<std::mutex> lock(listenerMu);
    ASSERT_GE(listenerSaw.size(), 2u);
    EXPECT_EQ(listenerSaw[0], 1);  // the session end is held back as the rewrite begins ...
    EXPECT_EQ(listenerSaw[1], 0);  // ... and let go as it ends
  }
  // The rewrite that was held back waits for the end; it never began.
  while (held.Sleeps().size() < 5 || held.Sleeps().back() != 50) std::this_thread::yield();
  EXPECT_EQ(held.FileBytes("D:\\next.exe"), next);
  EXPECT_EQ(RewritesUnderWay(), 0);
  EXPECT_TRUE(ScanWorkerRunning());

  SetRewriteListener(nullptr);
  held.gate.Open();
  ResetScanControl();  // allows rewrites again and lets the worker finish
  EXPECT_EQ(held.FileBytes("D:\\next.exe"), "next host");
  probe = nullptr;
  SetPlatform(&machine);
}

// With no worker, or one that ends within the walk's wait, the end holds
// nothing back.
TEST_F(ScanControlTest, AnEndWithoutARewriteUnderWayHoldsNothingBack) {
  SettleScanForExit(10, nullptr);
  machine.AddDrive('D', kDriveFixed);
  machine.AddFile("D:\\a.exe", Infected("host"));
  StartFullScan();
  SettleScanForExit(20000, nullptr);
  EXPECT_FALSE(ScanWorkerRunning());
  machine.AddFile("D:\\b.exe", Infected("host b"));
  RestoreInfectedFile("D:\\b.exe");
  EXPECT_EQ(machine.FileBytes("D:\\b.exe"), "host b");
}

}  // namespace
}  // namespace vx
