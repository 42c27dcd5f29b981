#include "engine/process_sweep.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

const char kDrivers[] = "C:\\windows\\system32\\drivers\\";

class ProcessSweepTest : public EngineTest {};

TEST_F(ProcessSweepTest, ListsEveryProcessAndEndsTheWormsWithTheirFiles) {
  machine.AddProcess("explorer.exe");
  std::uint32_t worm = machine.AddProcess("QadRelv.EXE", std::string(kDrivers) + "QadRelv.EXE");
  std::uint32_t copy = machine.AddProcess("qadrelv.exe");  // a second copy: ended too; its file is gone already
  machine.AddProcess("notepad.exe");
  EXPECT_TRUE(KillTrojanProcesses());
  EXPECT_EQ(window.Log(), (std::vector<std::string>{
                              "扫描进程:explorer.exe", "扫描进程:QadRelv.EXE", "关闭木马进程:QadRelv.EXE",
                              "QadRelv.EXE 删除成功!", "扫描进程:qadrelv.exe", "关闭木马进程:qadrelv.exe",
                              "扫描进程:notepad.exe"}));
  EXPECT_FALSE(machine.ProcessRunning(worm));
  EXPECT_FALSE(machine.ProcessRunning(copy));
  EXPECT_FALSE(machine.Exists(std::string(kDrivers) + "QadRelv.EXE"));
  EXPECT_EQ(machine.OpenProcessAccessSeen(), (std::vector<std::uint32_t>(2, kProcessAllAccessClassic)));
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(ProcessSweepTest, NamesMatchWholeAndFoldOnlyLatinLetters) {
  const char* lookalikes[] = {"xqadrelv.exe", "qadrelv.exe.bak", "qadrelv.ex", "qadr0lv.ｅxe"};
  for (const char* n : lookalikes) machine.AddProcess(n);
  machine.AddProcess("MKZBR48.EXE");
  machine.AddProcess("mTzBr48.exe");
  KillTrojanProcesses();
  EXPECT_EQ(LogWith("关闭木马进程:"), (std::vector<std::string>{"关闭木马进程:MKZBR48.EXE", "关闭木马进程:mTzBr48.exe"}));
  EXPECT_EQ(LogWith("扫描进程:").size(), 6u);
}

TEST_F(ProcessSweepTest, AProcessNotEndedIsNotReportedClosedButItsFileIsTried) {
  std::string image = std::string(kDrivers) + "qaddrelv.exe";
  std::uint32_t stubborn = machine.AddProcess("qaddrelv.exe", image, true, false);
  machine.AddProcess("qadr0lv.exe", "", false, true);
  machine.AddFile(std::string(kDrivers) + "qadr0lv.exe", "MZ");
  machine.SetTracing(true);
  KillTrojanProcesses();
  EXPECT_TRUE(machine.ProcessRunning(stubborn));
  EXPECT_TRUE(machine.Exists(image));  // still in use by the running process
  EXPECT_EQ(window.Log(), (std::vector<std::string>{"扫描进程:qaddrelv.exe", "扫描进程:qadr0lv.exe",
                                                    "qadr0lv.exe 删除成功!"}));
  EXPECT_EQ(TraceOf("DeleteFileA").size(), 2u);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

// "关闭木马进程:" stands for a process that was opened and whose termination
// the system accepted; a refusal at either step leaves the line out.
TEST_F(ProcessSweepTest, ClosedLineOnlyWhenTheTerminationSucceeded) {
  struct Case {
    Op op;
    bool logged;
  };
  for (Case c : {Case{Op::OpenProcess, false}, Case{Op::TerminateProcess, false}, Case{Op::CloseHandle, true}}) {
    OnFresh([&](MemoryPlatform& m, FakeWindow& w) {
      std::uint32_t pid = m.AddProcess("mtzbr48.exe");
      // The snapshot's own close comes after the process handle's.
      m.FailCall(c.op, 1, kErrorAccessDenied);
      KillTrojanProcesses();
      EXPECT_EQ(m.FaultsFired(), 1) << OpName(c.op);
      EXPECT_EQ(m.ProcessRunning(pid), !c.logged) << OpName(c.op);
      EXPECT_EQ(w.Log().size(), c.logged ? 2u : 1u) << OpName(c.op);
      EXPECT_EQ(m.OpenHandleCount(), 0) << OpName(c.op);
    });
  }
}

// Without the snapshot or the first-entry function nothing is listed, without
// the next-entry function the first entry alone, and nothing either when the
// system refuses the snapshot (""); no handle is closed that was never
// opened, and the scan goes on.
TEST_F(ProcessSweepTest, WithoutTheListingFunctionsNothingIsLoggedAndTheScanGoesOn) {
  struct Case {
    const char* missing;
    std::size_t listed;
    int closes;
  };
  for (Case c : {Case{"CreateToolhelp32Snapshot", 0, 0}, Case{"Process32FirstW", 0, 1}, Case{"Process32NextW", 1, 1},
                 Case{"", 0, 0}}) {
    OnFresh([&](MemoryPlatform& m, FakeWindow& w) {
      ResetToolHelpBinding();
      m.AddProcess("explorer.exe");
      m.AddProcess("notepad.exe");
      *c.missing ? m.RemoveExport(c.missing) : m.FailCall(Op::CreateToolhelp32Snapshot, 1, kErrorAccessDenied);
      EXPECT_TRUE(KillTrojanProcesses());
      EXPECT_EQ(w.Log().size(), c.listed) << c.missing;
      EXPECT_EQ(m.CallCount(Op::CloseHandle), c.closes) << c.missing;
      EXPECT_EQ(m.OpenHandleCount(), 0) << c.missing;
    });
  }
  OnFresh([](MemoryPlatform& noKernel, FakeWindow& w) {
    ResetToolHelpBinding();
    noKernel.AddProcess("qadrelv.exe");
    noKernel.SetKernel32Loaded(false);
    EXPECT_TRUE(KillTrojanProcesses());
    EXPECT_TRUE(w.Log().empty());
    // A failed lookup of the module is tried again at the next call.
    noKernel.SetKernel32Loaded(true);
    EXPECT_TRUE(BindToolHelp());
  });
}

// The worm's file is deleted from the system folder's "drivers" at any path
// the file calls take; under no system folder, or one too long, nothing is.
TEST_F(ProcessSweepTest, TheWormFileIsDeletedOnlyWhereTheFileCallsReach) {
  std::string deep = "C:\\" + std::string(128, 'd') + "\\";
  for (int i = 0; i < 107; ++i) deep += "系";  // the file's path: 259 UTF-16 units, 473 bytes
  struct Case {
    std::string system;
    bool deleted;
  };
  for (const Case& c : {Case{deep, true}, Case{deep + "统", false}, Case{"", false}}) {
    OnFresh([&](MemoryPlatform& m, FakeWindow& w) {
      m.SetSystemDirectory(c.system);
      m.AddProcess("qadrelv.exe");
      const std::string file = c.system + "\\drivers\\qadrelv.exe";
      if (!c.system.empty()) m.AddFile(file, "MZ");
      KillTrojanProcesses();
      EXPECT_EQ(m.CallCount(Op::DeleteFileA), c.deleted ? 1 : 0) << c.system.size();
      EXPECT_EQ(m.Exists(file), !c.deleted && !c.system.empty()) << c.system.size();
      EXPECT_EQ(w.Log().size(), c.deleted ? 3u : 2u) << c.system.size();  // listed, ended, and deleted
    });
  }
}

}  // namespace
}  // namespace vx
