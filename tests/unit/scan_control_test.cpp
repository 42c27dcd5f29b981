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
using Ops = std::vector<std::string>;

// An infected program as the worm leaves it.
std::string Infected(const std::string& host) { return vxtest::InfectedProgram("MZworm body", host); }
std::string FileOnD(int i) { return "D:\\f" + std::to_string(i) + ".txt"; }

class ScanControlTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_EQ(ScanWorkerHandle(), kNullHandle);  // no worker, as at program start
    machine.SetTracing(true);
  }
  void WaitForWorker() {
    Handle worker = ScanWorkerHandle();
    ASSERT_NE(worker, kNullHandle);
    ASSERT_EQ(machine.WaitForSingleObject(worker, 20000), kWaitObject0);
  }
  // A fixed drive D: holding D:\f0.txt, D:\f1.txt, ...
  void AddDriveD(int files) {
    machine.AddDrive('D', kDriveFixed);
    for (int i = 0; i < files; ++i) machine.AddFile(FileOnD(i), "x");
  }
  // The first worker that pauses after its nth file waits there until the gate opens.
  void HoldFirstWorkerAfterFile(Gate& gate, int files) {
    firstWorker = std::thread::id();
    machine.OnSleep([this, &gate, files](std::uint32_t ms) {
      std::thread::id none;
      if (ms == kScanPacingDelay && ScannedFiles == files &&
          firstWorker.compare_exchange_strong(none, std::this_thread::get_id())) {
        gate.Hold();
      }
    });
  }
  std::atomic<std::thread::id> firstWorker{std::thread::id()};
};

// A: and B: are listed but never walked, whatever their type.
TEST_F(ScanControlTest, WalksRemovableFixedAndRemoteDrivesButFloppiesFromTheHighestLetterDown) {
  for (char letter : {'A', 'B', 'H'}) machine.AddDrive(letter, kDriveRemovable);
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('E', kDriveRemote);
  machine.AddDrive('F', kDriveCdrom);
  machine.AddDrive('G', kDriveRamdisk);
  machine.AddDrive('I', kDriveUnknown);
  for (char letter : std::string("ABCDEFGHI")) machine.AddFile(std::string(1, letter) + ":\\x.txt", "x");
  // A 32-bit program on 64-bit Windows: the walk sees both system folders, each under its own name.
  machine.SetWow64(true);
  machine.AddFile("C:\\windows\\system32\\n.dll", "x");
  machine.AddFile("C:\\windows\\SysWOW64\\w.dll", "x");
  EXPECT_EQ(ListScanDrives(), "ABCDEH");
  StartFullScan();
  WaitForWorker();
  EXPECT_EQ(window.Shown(), (Ops{"H:\\x.txt", "E:\\x.txt", "D:\\x.txt", "C:\\windows\\system32\\n.dll",
                                 "C:\\windows\\SysWOW64\\w.dll", "C:\\x.txt"}));
  EXPECT_EQ(TraceOf("Wow64"), (Ops{"Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection"}));
  Ops ops = window.Ops();
  EXPECT_EQ(Ops(ops.end() - 2, ops.end()), (Ops{"status 0 扫描完成!", "enable 1"}));
  EXPECT_TRUE(ScanStopped);
  // The finer timer is asked for once and given back.
  EXPECT_EQ(TraceOf("Time"), (Ops{"TimeBeginPeriod 1", "TimeEndPeriod 1"}));
}

// These use the window as the real one behaves: the worker's calls wait in a
// queue until the window thread (the test's own) pumps or makes a call. With
// floppies alone the scan ends at once, having walked nothing. However late the
// window carries out the command's own calls, the end report comes after them.
TEST_F(ScanControlTest, AScanWithOnlyFloppiesEndsAtOnceAndLeavesFullScanEnabled) {
  machine.SetDriveType('C', kDriveCdrom);
  machine.AddDrive('A', kDriveRemovable);
  machine.AddFile("A:\\x.exe", "x");
  window.QueueCallsFromOtherThreads();
  // The command's disabling of the button is carried out as late as can be:
  // after any worker that exists by then has ended.
  window.beforeWindowThreadOp = [&](const std::string& op) {
    if (op == "enable 0" && ScanWorkerHandle() != kNullHandle) machine.WaitForSingleObject(ScanWorkerHandle(), 20000);
  };
  Ops expected;
  for (int press = 1; press <= 3; ++press) {
    FullScanCommand();
    WaitForWorker();
    window.Pump();
    expected.insert(expected.end(), {"status 0 正在扫描,请等待!", "status 2 已清除文件数:0", "enable 0",
                                     "status 0 扫描完成!", "enable 1"});
  }
  EXPECT_EQ(window.Ops(), expected);
  EXPECT_EQ(ScannedFiles, 0);
}

// C:, D: and E: present; the stop comes while D: is walked. D: ends after its
// current entry; C: is still listed, handles its first entry and ends.
TEST_F(ScanControlTest, StopDuringADriveStillTouchesTheFirstEntryOfLaterDrives) {
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('E', kDriveFixed);
  for (const char* path : {"E:\\e.txt", "D:\\d1.txt", "D:\\d2.txt", "C:\\c1.txt", "C:\\c2.txt"}) machine.AddFile(path, "x");
  window.onOp = [](const std::string& op) {
    if (op == "file D:\\d1.txt") RequestScanStop();
  };
  StartFullScan();
  WaitForWorker();
  // C:'s first entry is its windows folder, whose walk ends after one entry.
  EXPECT_EQ(window.Shown(), (Ops{"E:\\e.txt", "D:\\d1.txt"}));
  EXPECT_EQ(TraceOf("FindFirstFileA C:\\*.*").size(), 1u);
  EXPECT_EQ(window.panels[0], "扫描中止!");
  EXPECT_TRUE(window.fullScanEnabled);
}

// A start whose thread cannot be created reports nothing: the button stays off
// until the stop. The stop still cleans the roots, and its flag holds only
// until the next start.
TEST_F(ScanControlTest, StopAndEmptyLogCommandsCleanTheRootsLast) {
  machine.FailCall(Op::CreateThread, 1, kErrorNotEnoughMemory);
  FullScanCommand();
  EXPECT_FALSE(ScanStopped);
  machine.AddFile("C:\\setup.exe", "x");
  StopScanCommand();
  EXPECT_EQ(window.Ops(), (Ops{"status 0 正在扫描,请等待!", "status 2 已清除文件数:0", "enable 0", "enable 1",
                              "log C:\\setup.exe 删除成功!"}));
  EXPECT_TRUE(ScanStopped);
  EXPECT_EQ(ScanWorkerHandle(), kNullHandle);
  machine.AddFile("C:\\autorun.inf", "x");
  EmptyLogCommand();
  EXPECT_EQ(window.Log(), (Ops{"C:\\autorun.inf 删除成功!"}));
  StartFullScan();
  WaitForWorker();
  EXPECT_EQ(window.panels[0], "扫描完成!");
}

TEST_F(ScanControlTest, FullScanCommandRunsItsStepsInOrder) {
  machine.AddFile("C:\\autorun.inf", "x");
  machine.AddProcess("explorer.exe");
  // The real window carries the worker's calls over after the command has
  // returned; here the worker is held until then.
  Gate commandDone;
  machine.OnSleep([&](std::uint32_t) { commandDone.Hold(); });
  FullScanCommand();
  Ops ops = window.Ops();
  commandDone.Open();
  EXPECT_EQ(ops, (Ops{"log C:\\autorun.inf 删除成功!", "log 扫描进程:explorer.exe", "status 0 正在扫描,请等待!",
                      "status 2 已清除文件数:0", "enable 0"}));
  // The registry value comes first of all.
  Ops trace = machine.Trace();
  auto reg = std::find_if(trace.begin(), trace.end(), [](const std::string& l) { return l.rfind("RegCreateKeyExA", 0) == 0; });
  EXPECT_EQ(std::find_if(trace.begin(), reg, [](const std::string& l) { return l.rfind("DeleteFileA", 0) == 0; }), reg);
  WaitForWorker();
  ops.insert(ops.end(), {"status 0 扫描完成!", "enable 1"});
  EXPECT_EQ(window.Ops(), ops);
  auto value = machine.RegValue(kHkeyLocalMachine,
                                "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL",
                                "CheckedValue");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->type, kRegDword);
  EXPECT_EQ(value->data, std::string("\x01\0\0\0", 4));  // the number 1, as REG_DWORD stores it
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
  EXPECT_EQ(window.panels[0], "正在扫描,请等待!");  // the roots' failure skipped no later step
  CleanedFiles = 3;  // the worker shows the new scan's 0, and finds no memory there
  StartFullScan();
  WaitForWorker();
  window.onOp = nullptr;
  EXPECT_EQ(window.panels[0], "扫描中止!");
  EXPECT_EQ(window.Ops().back(), "enable 1");
}

// "停止杀毒" then "全盘杀毒" while the stopped worker is still in its last entry,
// or in the middle of queueing "扫描中止!" and the button. The new walk begins
// only after the old worker has ended, and the new scan alone decides panel 0
// and the button from its own "正在扫描,请等待!" on: the old worker's report
// lands before it or not at all. A stop while the new scan still waits for the
// old worker cancels the new scan too.
TEST_F(ScanControlTest, AStartAfterAStopWaitsForTheStoppedWorkerWhichNeverReportsIntoIt) {
  AddDriveD(3);
  struct {
    std::string heldAt;
    bool stopWhileWaiting;
  } rows[] = {{"last entry", false}, {"status 0 扫描中止!", false}, {"enable 1", false}, {"last entry", true}};
  for (const auto& row : rows) {
    SCOPED_TRACE("old worker held at: " + row.heldAt + (row.stopWhileWaiting ? ", stop while waiting" : ""));
    FakeWindow w;
    SetWindow(&w);
    w.QueueCallsFromOtherThreads();
    Gate inEntry, inReport;
    HoldFirstWorkerAfterFile(inEntry, 1);
    w.onOp = [&](const std::string& op) {
      if (op == row.heldAt && std::this_thread::get_id() == firstWorker.load()) inReport.Hold();
    };
    FullScanCommand();
    inEntry.WaitUntilReached();
    StopScanCommand();
    std::thread opener;  // the new command waits out a report being queued
    if (row.heldAt != "last entry") {
      inEntry.Open();
      opener = inReport.OpenSoonAfterReached();
      inReport.WaitUntilReached();
    }
    FullScanCommand();
    if (row.stopWhileWaiting) StopScanCommand();
    if (opener.joinable()) opener.join();
    inEntry.Open();
    WaitForWorker();
    w.Pump();

    Ops shown = {FileOnD(0)}, panel0AndButton = {"status 0 正在扫描,请等待!", "enable 0"};
    if (row.stopWhileWaiting) {
      panel0AndButton.insert(panel0AndButton.end(), {"enable 1", "status 0 扫描中止!", "enable 1"});
    } else {
      shown.insert(shown.end(), {FileOnD(0), FileOnD(1), FileOnD(2)});
      panel0AndButton.insert(panel0AndButton.end(), {"status 0 扫描完成!", "enable 1"});
    }
    EXPECT_EQ(w.Shown(), shown);
    Ops ops = w.OpsStarting({"status 0 ", "enable "});
    auto start = std::find(ops.rbegin(), ops.rend(), "status 0 正在扫描,请等待!");
    ASSERT_NE(start, ops.rend());
    EXPECT_EQ(Ops(start.base() - 1, ops.end()), panel0AndButton);
    EXPECT_EQ(ScannedFiles, row.stopWhileWaiting ? 0 : 3);
    EXPECT_TRUE(ScanStopped);
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
  window.onOp = [&](const std::string& op) {
    std::thread::id none;
    if (op == "file E:\\a.exe" && firstWorker.compare_exchange_strong(none, std::this_thread::get_id())) {
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
  EXPECT_EQ(LogWith("还原成功!"), (Ops{"E:\\a.exe还原成功!", "D:\\z.exe还原成功!"}));
  EXPECT_EQ(window.Shown(), (Ops{"E:\\a.exe", "E:\\a.exe", "E:\\e.txt", "D:\\d.txt", "D:\\z.exe"}));
}

// Random presses of the three buttons, pumps of the window and pauses, against
// walks of varying speed. After each sequence: the last scan has ended, panel
// 0 and the button agree, a whole walk counts each file once, and no worker
// ever showed a file after a newer one had begun to.
TEST_F(ScanControlTest, RandomPressesNeverLeaveTwoWalkersOrAStuckButton) {
  const int kWalkFiles = 12;  // C: holds no file
  AddDriveD(kWalkFiles);
  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::mutex mu;
  auto draw = [&](int low, int high) {
    std::lock_guard<std::mutex> lock(mu);
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  machine.OnSleep([&](std::uint32_t) { std::this_thread::sleep_for(std::chrono::microseconds(draw(0, 200))); });
  for (int sequence = 0; sequence < 300; ++sequence) {
    FakeWindow w;
    SetWindow(&w);
    w.QueueCallsFromOtherThreads();
    // Every other sequence has no drive to walk: each scan then ends at once.
    bool nothingToWalk = sequence % 2 == 1;
    for (char drive : {'C', 'D'}) machine.SetDriveType(drive, nothingToWalk ? kDriveCdrom : kDriveFixed);
    std::vector<std::thread::id> showers;  // the thread of each shown file, in order
    w.onOp = [&](const std::string& op) {
      if (op.rfind("file ", 0) != 0) return;
      std::lock_guard<std::mutex> lock(mu);
      showers.push_back(std::this_thread::get_id());
    };
    for (int step = 0, steps = draw(2, 10); step < steps; ++step) {
      int action = draw(0, 4);
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
    if (end != "扫描状态") {
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
// of a rewrite, after its first chunk has landed. Its Wait is the window's wait
// while the program ends: the walk's wait runs out at once; the next wait looks
// at the file and the rewrite still under way, and only then lets it go on.
class HoldingMachine : public MemoryPlatform {
 public:
  bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override {
    if (++writes == holdAtWrite) gate.Hold();
    return MemoryPlatform::WriteFile(file, buffer, toWrite, written);
  }
  static bool Wait(Handle worker, std::uint32_t milliseconds) {
    HoldingMachine& m = *current;
    if (++m.waits == 1) return false;
    if (m.waits == 2) {
      m.bytesWhenWaitedFor = m.FileBytes("E:\\big.exe");
      m.underWayWhenWaitedFor = RewritesUnderWay();
      m.gate.Open();
    }
    return m.WaitForSingleObject(worker, milliseconds) == kWaitObject0;
  }
  static HoldingMachine* current;
  std::atomic<int> writes{0};
  int holdAtWrite = 0, waits = 0, underWayWhenWaitedFor = -1;
  std::string bytesWhenWaitedFor;
  Gate gate;
};
HoldingMachine* HoldingMachine::current = nullptr;

std::vector<int> listenerSaw;
std::mutex listenerMu;
void RecordRewriteCount() {
  std::lock_guard<std::mutex> lock(listenerMu);
  listenerSaw.push_back(RewritesUnderWay());
}

// The program ends while a 1.5 MiB program is half rewritten: the end stops
// the walk and waits for that rewrite, however long it takes, and lets no
// other rewrite begin. The stopped walk still reaches the first entry of D:,
// an infected program, which must be left as it is.
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
  HoldingMachine::current = &held;

  StartFullScan();
  held.gate.WaitUntilReached();
  EXPECT_EQ(RewritesUnderWay(), 1);
  SettleScanForExit(10, HoldingMachine::Wait);

  EXPECT_TRUE(held.bytesWhenWaitedFor != big && held.bytesWhenWaitedFor != host);  // mid-way
  EXPECT_EQ(held.underWayWhenWaitedFor, 1);
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
  EXPECT_EQ(window.panels[0], "扫描中止!");  // the walk was asked to stop
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
