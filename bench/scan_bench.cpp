// scan_bench: the figures of one full scan of the real program, from a second
// process, all in one run:
//
//   scan_bench run PROGRAM [--timeout S]
//
// 1. start-up: the program is started three times, each time against a blank
//    window of this bench as the yardstick; time from CreateProcess to the
//    main window shown;
// 2. the scan: "全盘杀毒" is pressed and panel 0 polled every 10 ms until it
//    shows "扫描完成!"; meanwhile a second thread sends WM_NULL to the window
//    (SendMessageTimeout) every 10 ms and keeps each round trip;
// 3. memory: the program's working set before the press and its peak after
//    the scan (GetProcessMemoryInfo);
// 4. the entries the walk visited, counted afterwards over the same drives by
//    the walker's rules (markers and start-up files are gone by then, as they
//    were when the walk listed their folders), and the largest examined file,
//    taken before the scan;
// 5. the pause cost: the walker itself, over a folder of as many empty
//    entries, with the timer resolution the scan worker asks for.
//
//   scan_bench blank      the yardstick window (started by `run`)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "engine/scan_control.h"
#include "engine/scan_tree.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "platform/win32/win32_platform.h"
#include "bench/bench_support.h"
#include "tests/e2e/form_probe.h"

namespace {

using vx::kCaption;
const char kBlankCaption[] = "scan_bench yardstick";
const char* const kFinished = vx::kPanelFinished;
const char* const kStopped = vx::kPanelStopped;

[[noreturn]] void Fail(const std::string& why) {
  std::printf("scan_bench: %s\n", why.c_str());
  std::fflush(stdout);
  std::exit(1);
}

// --- a started program and its window ------------------------------------

struct Started {
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  double shownMs = 0;  // CreateProcess to the window shown
};

struct FindArgs {
  DWORD pid;
  const char* caption;
  HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM param) {
  FindArgs* args = reinterpret_cast<FindArgs*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t text[256] = L"";
  GetWindowTextW(window, text, 256);
  if (pid == args->pid && IsWindowVisible(window) && e2e::Utf8(text) == args->caption) {
    args->found = window;
    return FALSE;
  }
  return TRUE;
}

Started Start(const std::string& commandLine, const char* caption) {
  Started s;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string line = commandLine;
  double t0 = bench::SecondsNow();
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &s.process))
    Fail("cannot start " + commandLine);
  for (;;) {
    FindArgs args{s.process.dwProcessId, caption, nullptr};
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&args));
    if (args.found != nullptr) {
      s.window = args.found;
      break;
    }
    if (bench::SecondsNow() - t0 > 60) Fail("no window from " + commandLine);
    Sleep(1);
  }
  s.shownMs = (bench::SecondsNow() - t0) * 1000.0;
  return s;
}

void Close(Started& s) {
  PostMessageA(s.window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(s.process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(s.process.hProcess, 1);
  CloseHandle(s.process.hThread);
  CloseHandle(s.process.hProcess);
}

PROCESS_MEMORY_COUNTERS Memory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, &counters, sizeof counters)) Fail("GetProcessMemoryInfo failed");
  return counters;
}

double MiB(SIZE_T bytes) { return static_cast<double>(bytes) / 1048576.0; }

// --- the scan ------------------------------------------------------------------

struct ScanFigures {
  double clickMs = 0;  // the press until the button's handler returned
  double scanS = 0;    // the press until panel 0 shows the end
  std::string panel1;
  SIZE_T idleWorkingSet = 0, startPeak = 0, peak = 0;
  double cpuS = 0;  // the program's processor time (all threads) during the scan
  std::vector<double> pings;
  long lostPings = 0;
};

// User and kernel time of a process so far, in seconds.
double CpuSeconds(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

ScanFigures Scan(Started& program, double timeoutS) {
  ScanFigures f;
  HWND button3 = GetDlgItem(program.window, IDC_BUTTON3);
  e2e::Form form;
  form.form = program.window;
  form.status = GetDlgItem(program.window, IDC_STATUSBAR1);
  form.process = program.process.hProcess;
  if (button3 == nullptr || form.status == nullptr) Fail("the window has no 全盘杀毒 or no status bar");
  PROCESS_MEMORY_COUNTERS before = Memory(program.process.hProcess);
  f.idleWorkingSet = before.WorkingSetSize;
  f.startPeak = before.PeakWorkingSetSize;

  const double cpu0 = CpuSeconds(program.process.hProcess);
  double t0 = bench::SecondsNow();
  if (e2e::Send(button3, BM_CLICK, 0, 0, 120000) == -1) Fail("全盘杀毒 did not answer");
  f.clickMs = (bench::SecondsNow() - t0) * 1000.0;
  e2e::RoundTrips pings(program.window, {10, 10000, 10000, nullptr});
  std::string panel0;
  for (;;) {
    panel0 = e2e::PanelText(form, 0);
    if (panel0 == kFinished || panel0 == kStopped) break;
    if (bench::SecondsNow() - t0 > timeoutS) Fail("the scan did not end in time");
    Sleep(10);
  }
  f.scanS = bench::SecondsNow() - t0;
  f.cpuS = CpuSeconds(program.process.hProcess) - cpu0;
  pings.Stop();
  if (panel0 != kFinished) Fail("the scan was stopped");
  f.pings = pings.Ms();
  f.lostPings = pings.Lost();
  f.panel1 = e2e::PanelText(form, 1);
  f.peak = Memory(program.process.hProcess).PeakWorkingSetSize;
  return f;
}

// --- what the walk visited -----------------------------------------------------

struct Census {
  long entries = 0;         // every entry listed, "." and ".." included
  long examined = 0;        // files below the size limit
  std::uint64_t largest = 0;  // the largest examined file
  long markers = 0;           // marker files in subfolders, each deleted after its own 1 ms pause
  std::string drives;
};

Census CountVisited() {
  vx::Win32Platform platform;  // the engine's rules upper-case and ask for drive types through it
  vx::SetPlatform(&platform);
  Census c;
  for (const std::string& root : bench::ScannedRoots()) {
    c.drives += root.substr(0, 2) + " ";
    c.entries += bench::WalkLikeScan(root, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
      const bool inSubfolder = path.find('\\', root.size()) != std::string::npos;
      for (const char* marker : vx::MarkerFileNames)
        if (inSubfolder && lstrcmpiA(entry.cFileName, marker) == 0) ++c.markers;
      ++c.examined;
      c.largest = std::max(c.largest, static_cast<std::uint64_t>(bench::EntrySize(entry)));
    });
  }
  return c;
}

// --- the pause ---------------------------------------------------------------

struct PauseFigures {
  double walkerMs = 0;  // per entry of a walk over empty files
  double sleepMs = 0;   // one bare Sleep(10)
  double markerMs = 0;  // one Sleep(1), the pause before each marker deletion
};

// The walker over a folder of `entries` entries ("." and ".." and empty
// files), at the timer resolution the scan worker asks for.
PauseFigures MeasurePause(long entries) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string folder = std::string(temp) + "vx_pause";
  CreateDirectoryA(folder.c_str(), nullptr);
  const long files = entries > 2 ? entries - 2 : 1;
  for (long i = 0; i < files; ++i) {
    std::string path = folder + "\\f" + std::to_string(i) + ".txt";
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  vx::Win32Platform platform;
  bench::QuietWindow window;
  vx::SetPlatform(&platform);
  vx::SetWindow(&window);
  vx::ScanStopped = false;
  PauseFigures p;
  bool finer = vx::Sys().TimeBeginPeriod(1) == 0;
  double t0 = bench::SecondsNow();
  vx::ScanTree(folder);
  p.walkerMs = (bench::SecondsNow() - t0) * 1000.0 / static_cast<double>(files + 2);
  const int sleeps = 200;
  t0 = bench::SecondsNow();
  for (int i = 0; i < sleeps; ++i) Sleep(10);
  p.sleepMs = (bench::SecondsNow() - t0) * 1000.0 / sleeps;
  t0 = bench::SecondsNow();
  for (int i = 0; i < sleeps; ++i) Sleep(1);
  p.markerMs = (bench::SecondsNow() - t0) * 1000.0 / sleeps;
  if (finer) vx::Sys().TimeEndPeriod(1);
  for (long i = 0; i < files; ++i) DeleteFileA((folder + "\\f" + std::to_string(i) + ".txt").c_str());
  RemoveDirectoryA(folder.c_str());
  return p;
}

// --- the yardstick window ------------------------------------------------------

LRESULT CALLBACK BlankProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int Blank() {
  WNDCLASSA c{};
  c.lpfnWndProc = BlankProc;
  c.hInstance = GetModuleHandleA(nullptr);
  c.lpszClassName = "ScanBenchBlank";
  c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassA(&c);
  HWND w = CreateWindowExA(0, c.lpszClassName, kBlankCaption, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 100, 100,
                           700, 340, nullptr, nullptr, c.hInstance, nullptr);
  ShowWindow(w, SW_SHOWNORMAL);
  UpdateWindow(w);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
  return 0;
}

// --- the run -------------------------------------------------------------------

int Run(const std::string& program, double timeoutS) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::string blank = std::string("\"") + self + "\" blank";
  const std::string vuxor = "\"" + program + "\"";

  // Start-up, three times each, after one unmeasured start of both.
  std::vector<double> programMs, blankMs;
  for (int round = 0; round < 4; ++round) {
    Started b = Start(blank, kBlankCaption);
    Close(b);
    Started v = Start(vuxor, kCaption);
    Close(v);
    if (round == 0) continue;
    blankMs.push_back(b.shownMs);
    programMs.push_back(v.shownMs);
  }

  // The largest file and the markers are taken before the scan, which may
  // shrink the one and deletes the others; the entries after it, when the
  // markers it deleted before walking their folders are gone.
  const Census before = CountVisited();
  Started v = Start(vuxor, kCaption);
  Sleep(500);  // let it settle: the figures below are of the scan
  ScanFigures f = Scan(v, timeoutS);
  Close(v);
  Census c = CountVisited();
  c.largest = before.largest;
  c.markers = before.markers;
  PauseFigures p = MeasurePause(c.entries);

  const double floorS = static_cast<double>(c.entries) * p.walkerMs / 1000.0;
  const double goalMiB = 2.0 * MiB(static_cast<SIZE_T>(c.largest)) + 16.0;
  std::printf("entries: %ld (drives %sall that the walk visits; %ld files examined, panel 1 \"%s\")\n", c.entries,
              c.drives.c_str(), c.examined, f.panel1.c_str());
  std::printf("pause cost: %.3f ms per entry (walker over %ld empty entries); bare Sleep(10): %.3f ms\n", p.walkerMs,
              c.entries, p.sleepMs);
  std::printf("scan time: %.2f s (press to \"扫描完成!\"; the press itself %.0f ms); the program's processor time "
              "meanwhile %.2f s\n",
              f.scanS, f.clickMs, f.cpuS);
  const double sleepFloorS = static_cast<double>(c.entries) * p.sleepMs / 1000.0;
  std::printf("ratio: %.4f (scan time / (entries x pause cost) = %.2f s / %.2f s); against entries x bare "
              "Sleep(10): %.4f\n",
              f.scanS / floorS, f.scanS, floorS, f.scanS / sleepFloorS);
  // Every pause the walk must make: the one after each entry, and the one
  // before each marker deletion.
  const double pausesS = floorS + static_cast<double>(c.markers) * p.markerMs / 1000.0;
  std::printf("against every pause the walk makes (entries x pause cost + %ld markers x %.3f ms): %.4f (%.2f s)\n",
              c.markers, p.markerMs, f.scanS / pausesS, pausesS);
  std::printf("start to window shown: %.0f ms (median of 3; runs %.0f %.0f %.0f ms); blank window: %.0f ms\n",
              bench::Percentile(programMs, 50), programMs[0], programMs[1], programMs[2],
              bench::Percentile(blankMs, 50));
  std::printf("WM_NULL round trip during the scan: p50 %.2f ms, p99 %.2f ms, max %.2f ms (%zu sent, %ld unanswered)\n",
              bench::Percentile(f.pings, 50), bench::Percentile(f.pings, 99), bench::Percentile(f.pings, 100),
              f.pings.size(), f.lostPings);
  std::printf("working set: %.1f MiB before the press (start-up peak %.1f), peak %.1f MiB, growth %.1f MiB; "
              "largest examined file %.2f MiB, 2 x largest + 16 = %.1f MiB\n",
              MiB(f.idleWorkingSet), MiB(f.startPeak), MiB(f.peak), MiB(f.peak - f.idleWorkingSet),
              MiB(static_cast<SIZE_T>(c.largest)), goalMiB);
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "blank") return Blank();
  if (mode == "run" && argc > 2) {
    double timeoutS = 3600;
    for (int i = 3; i + 1 < argc; i += 2)
      if (std::strcmp(argv[i], "--timeout") == 0) timeoutS = std::atof(argv[i + 1]);
    return Run(argv[2], timeoutS);
  }
  std::printf("usage: scan_bench run PROGRAM [--timeout S] | scan_bench blank\n");
  return 2;
}
