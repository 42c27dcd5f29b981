// Measures the pause the walker makes after each folder entry on the real
// system: a folder of a few thousand empty files is walked twice in the same
// process, once at the default timer resolution (the baseline) and once with
// the 1 ms resolution the scan worker asks for. Prints the mean time per
// entry of each and their ratio to the intended 10 ms.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <string>

#include "engine/scan_tree.h"
#include "engine/window_ops.h"
#include "platform/win32/win32_platform.h"

namespace {

class QuietWindow : public vx::WindowOps {
 public:
  void WindowLog(const std::string&) override {}
  void SetStatusText(int, const std::string&) override {}
  void ShowCurrentFile(const std::string&) override {}
  std::string ReadPattern() override { return std::string(); }
  void EnableFullScan(bool) override {}
  void EmptyLog() override {}
};

double SecondsNow() {
  LARGE_INTEGER frequency, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Mean milliseconds per entry of one walk of folder, which holds entries
// entries (its "." and ".." included).
double WalkMs(const std::string& folder, int entries) {
  double start = SecondsNow();
  vx::ScanTree(folder);
  return (SecondsNow() - start) * 1000.0 / entries;
}

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? atoi(argv[1]) : 2000;
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "vx_pacing";
  CreateDirectoryA(folder.c_str(), nullptr);
  for (int i = 0; i < files; ++i) {
    std::string path = folder + "\\f" + std::to_string(i) + ".txt";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  vx::Win32Platform platform;
  QuietWindow window;
  vx::SetPlatform(&platform);
  vx::SetWindow(&window);
  int entries = files + 2;
  double baseline = WalkMs(folder, entries);
  timeBeginPeriod(1);
  double fine = WalkMs(folder, entries);
  timeEndPeriod(1);
  std::printf("entries per walk: %d\n", entries);
  std::printf("default timer: %.2f ms per entry (%.2fx the 10 ms pause)\n", baseline, baseline / 10.0);
  std::printf("1 ms timer:    %.2f ms per entry (%.2fx the 10 ms pause)\n", fine, fine / 10.0);
  std::printf("ratio fine/default: %.3f\n", fine / baseline);
  return 0;
}
