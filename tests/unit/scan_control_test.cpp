#include <condition_variable>
#include <mutex>
#include <thread>

#include "engine/commands.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

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
  std::mutex mu;
  std::condition_variable cv;
  bool firstWorkerHeld = false, release = false;
  std::thread::id firstWorker;
  machine.OnSleep([&](std::uint32_t) {
    std::unique_lock<std::mutex> lock(mu);
    if (ScannedFiles == 2 && !firstWorkerHeld) {
      firstWorkerHeld = true;
      firstWorker = std::this_thread::get_id();
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }
  });
  StartFullScan();
  {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return firstWorkerHeld; });
  }
  StopScanCommand();
  ScannedFiles = 0;
  StartFullScan();
  EXPECT_TRUE(ScanWorkerRunning());
  {
    std::lock_guard<std::mutex> lock(mu);
    release = true;
  }
  cv.notify_all();
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
  std::mutex mu;
  std::condition_variable cv;
  bool held = false, release = false;
  machine.OnSleep([&](std::uint32_t) {
    std::unique_lock<std::mutex> lock(mu);
    if (ScannedFiles == 1 && !held) {
      held = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    }
  });
  StartFullScan();
  {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return held; });
  }
  StopScanCommand();
  StartFullScan();
  StopScanCommand();
  {
    std::lock_guard<std::mutex> lock(mu);
    release = true;
  }
  cv.notify_all();
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
  std::mutex mu;
  std::condition_variable cv;
  bool commandDone = false;
  machine.OnSleep([&](std::uint32_t) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return commandDone; });
  });
  FullScanCommand();
  auto ops = window.Ops();
  {
    std::lock_guard<std::mutex> lock(mu);
    commandDone = true;
  }
  cv.notify_all();
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
  EXPECT_TRUE(machine.RegValue(kHkeyLocalMachine,
                               "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\Folder\\Hidden\\SHOWALL",
                               "CheckedValue").has_value());
}

TEST_F(ScanControlTest, StopAndEmptyLogCommandsCleanTheRootsLast) {
  machine.AddFile("C:\\setup.exe", "x");
  StopScanCommand();
  EXPECT_EQ(window.Ops(), (std::vector<std::string>{"enable 1", "log C:\\setup.exe 删除成功!"}));
  machine.AddFile("C:\\autorun.inf", "x");
  EmptyLogCommand();
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"C:\\autorun.inf 删除成功!"}));
}

}  // namespace
}  // namespace vx
