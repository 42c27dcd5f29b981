// What only a real process can show: a copy of this program running under a
// worm's image name is found by the sweep in the ToolHelp list, ended and
// reported, and its program file can be deleted then; a copy under a name
// outside the ANSI code page is listed under that name and left running. The
// Windows facts both platforms share are in the platform contract.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/process_sweep.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "platform/platform.h"
#include "tests/win32/win32_test_support.h"

namespace {

// The sweep's log; nothing else of the window is used.
class LogWindow : public vx::WindowOps {
 public:
  void WindowLog(const std::string& line) override { lines.push_back(line); }
  void SetStatusText(int, const std::string&) override {}
  void ShowCurrentFile(const std::string&) override {}
  std::string ReadPattern() override { return std::string(); }
  void EnableFullScan(bool) override {}
  void EmptyLog() override {}
  std::vector<std::string> lines;
};

class Victim : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = dir_ / "qadrelv.exe";
    Start(exe_, &pi_);
    Start(dir_ / kBystander, &bystander_);
    vx::SetWindow(&window_);
  }
  static void Start(const std::string& exe, PROCESS_INFORMATION* pi) {
    ASSERT_TRUE(::CopyFileW(vxtest::Wide(vxtest::SelfPath()).c_str(), vxtest::Wide(exe).c_str(), FALSE));
    std::wstring command = L"\"" + vxtest::Wide(exe) + L"\" --sleep 60000";
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    ASSERT_TRUE(::CreateProcessW(vxtest::Wide(exe).c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &si, pi));
    ::CloseHandle(pi->hThread);
  }
  void TearDown() override {
    vx::SetWindow(nullptr);
    for (PROCESS_INFORMATION* pi : {&pi_, &bystander_}) {
      if (!pi->hProcess) continue;
      ::TerminateProcess(pi->hProcess, 1);
      ::WaitForSingleObject(pi->hProcess, 10000);
      ::CloseHandle(pi->hProcess);
    }
  }
  static constexpr const char* kBystander = "한국😀.exe";
  vxtest::TempDir dir_;
  std::string exe_;
  PROCESS_INFORMATION pi_ = {}, bystander_ = {};
  LogWindow window_;
};

TEST_F(Victim, TheSweepEndsItAndItsFileCanGo) {
  EXPECT_TRUE(vx::KillTrojanProcesses());
  ASSERT_EQ(::WaitForSingleObject(pi_.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = 7;
  EXPECT_TRUE(::GetExitCodeProcess(pi_.hProcess, &code));
  EXPECT_EQ(code, 0u);
  const std::string ended = std::string(vx::kTrojanEndedLog) + "qadrelv.exe";
  EXPECT_EQ(std::count(window_.lines.begin(), window_.lines.end(), ended), 1) << window_.lines.size();
  const std::string listed = std::string(vx::kProcessListedLog) + kBystander;
  EXPECT_EQ(std::count(window_.lines.begin(), window_.lines.end(), listed), 1);
  EXPECT_EQ(::WaitForSingleObject(bystander_.hProcess, 0), WAIT_TIMEOUT);
  // Once ended, its program file can be deleted (while it ran it could not: the contract).
  EXPECT_TRUE(vx::Sys().DeleteFileA(exe_.c_str()));
}

}  // namespace
