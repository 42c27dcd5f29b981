// engine_bench: the engine's own cost, without the pauses it must make.
//
//   engine_bench FOLDER [--engine-first] [--call-times]
//
// Times, in one process and over the same tree, (a) a bare loop: the listing
// with FindFirstFileA/FindNextFileA by the walker's rules plus one whole-file
// read of every file the walker hands to a repairer, and (b) the walker with
// both repairers, every pause taken out by a platform that forwards each call
// to the Win32 adapter except Sleep. The tree should be a fresh copy: (b)
// repairs it. The bare loop runs first unless --engine-first is given, so a
// caller alternating the two sees any effect of the order. --call-times sums
// the time of the engine's platform calls by kind; the clock reads that takes
// slow the engine, so a run with it is not one to compare.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/scan_control.h"
#include "engine/scan_tree.h"
#include "engine/texts.h"
#include "engine/window_ops.h"
#include "bench/bench_support.h"
#include "bench/no_pause_platform.h"

namespace {

struct BareFigures {
  double seconds = 0;
  long entries = 0, read = 0;
  double bytes = 0;
};

// The whole file into memory, as a repairer needs it.
bool ReadWhole(const std::string& path, std::string* content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  bool ok = size != INVALID_FILE_SIZE;
  if (ok) {
    content->resize(size);
    DWORD got = 0;
    ok = size == 0 || (ReadFile(file, &(*content)[0], size, &got, nullptr) && got == size);
  }
  CloseHandle(file);
  return ok;
}

BareFigures Bare(const std::string& folder) {
  vx::Win32Platform plain;  // the walker's rules upper-case through it, untimed
  vx::SetPlatform(&plain);
  BareFigures f;
  double t0 = bench::SecondsNow();
  f.entries = bench::WalkLikeScan(folder, [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
    if (!vx::HasRepairer(entry.cFileName)) return;
    std::string content;
    if (ReadWhole(path, &content)) {
      ++f.read;
      f.bytes += static_cast<double>(content.size());
    }
  });
  f.seconds = bench::SecondsNow() - t0;
  return f;
}

struct EngineFigures {
  double seconds = 0;
  long examined = 0, restored = 0, lines = 0;
};

bench::NoPausePlatform platform;

EngineFigures Engine(const std::string& folder) {
  bench::QuietWindow window(vx::kDefaultPattern);
  vx::SetPlatform(&platform);
  vx::SetWindow(&window);
  vx::ScanStopped = false;
  vx::ScannedFiles = 0;
  vx::CleanedFiles = 0;
  platform.ResetTimes();
  EngineFigures f;
  double t0 = bench::SecondsNow();
  vx::ScanTree(folder);
  f.seconds = bench::SecondsNow() - t0;
  f.examined = vx::ScannedFiles;
  f.restored = vx::CleanedFiles;
  f.lines = window.lines;
  vx::SetWindow(nullptr);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: engine_bench FOLDER [--engine-first]\n");
    return 2;
  }
  std::string folder = argv[1];
  if (folder.back() != '\\') folder += '\\';
  bool engineFirst = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--engine-first") == 0) engineFirst = true;
    if (std::strcmp(argv[i], "--call-times") == 0) platform.timing = true;
  }
  BareFigures bare;
  EngineFigures engine;
  if (engineFirst) {
    engine = Engine(folder);
    bare = Bare(folder);
  } else {
    bare = Bare(folder);
    engine = Engine(folder);
  }
  std::printf("bare %.4f s: %ld entries listed, %ld files read whole (%.1f MiB)\n", bare.seconds, bare.entries,
              bare.read, bare.bytes / 1048576.0);
  std::printf("engine %.4f s: %ld files examined, %ld programs restored, %ld log lines\n", engine.seconds,
              engine.examined, engine.restored, engine.lines);
  if (platform.timing) {
    std::printf("engine's platform calls:");
    for (int k = 0; k < bench::kCallKinds; ++k)
      std::printf("%s %s %.3f s (%ld)", k ? "," : "", bench::CallKindName(k), platform.seconds[k], platform.calls[k]);
    std::printf("\n");
  }
  std::printf("ratio %.3f\n", engine.seconds / bare.seconds);
  return 0;
}
