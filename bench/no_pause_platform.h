// The real system with the walker's pauses taken out, for the engine
// benchmark only: every call goes to the Win32 adapter unchanged except Sleep,
// which returns at once. The program itself has no such switch. The time the
// calls take is summed by kind, to show where the engine's time goes.
#pragma once
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/win32_platform.h"
#include "bench/bench_support.h"

namespace bench {

enum CallKind { kListing, kLookup, kFileFacts, kOpenClose, kRead, kPosition, kWrite, kFlush, kCallKinds };
inline const char* CallKindName(int kind) {
  static const char* const names[kCallKinds] = {
      "listing", "one-name searches", "attributes, deletion", "open, close", "read", "size, position", "write", "flush"};
  return names[kind];
}

class NoPausePlatform : public vx::Platform {
 public:
  double seconds[kCallKinds] = {};
  long calls[kCallKinds] = {};
  // Off for the figures that are compared: the clock read around every call
  // costs the engine time of its own under Wine.
  bool timing = false;
  void ResetTimes() {
    for (int k = 0; k < kCallKinds; ++k) seconds[k] = 0, calls[k] = 0;
  }

  using Handle = vx::Handle;
  using FindData = vx::FindData;
  using FileTime = vx::FileTime;

  Handle FindFirstFileA(const char* p, FindData* d) override {
    // A search for one name (the marker test) apart from a folder's listing.
    const CallKind kind = std::strchr(p, '*') != nullptr ? kListing : kLookup;
    return Timed(kind, [&] { return os_.FindFirstFileA(p, d); });
  }
  bool FindNextFileA(Handle s, FindData* d) override {
    return Timed(kListing, [&] { return os_.FindNextFileA(s, d); });
  }
  bool FindClose(Handle s) override { return Timed(kListing, [&] { return os_.FindClose(s); }); }
  std::uint32_t GetLastError() override { return os_.GetLastError(); }
  void SetLastError(std::uint32_t c) override { os_.SetLastError(c); }
  std::uint32_t GetFileAttributesA(const char* p) override {
    return Timed(kFileFacts, [&] { return os_.GetFileAttributesA(p); });
  }
  bool SetFileAttributesA(const char* p, std::uint32_t a) override {
    return Timed(kFileFacts, [&] { return os_.SetFileAttributesA(p, a); });
  }
  bool DeleteFileA(const char* p) override { return Timed(kFileFacts, [&] { return os_.DeleteFileA(p); }); }
  std::uint32_t GetDriveTypeA(const char* r) override { return os_.GetDriveTypeA(r); }
  std::uint32_t GetSystemDirectoryA(char* b, std::uint32_t s) override { return os_.GetSystemDirectoryA(b, s); }
  bool FileTimeToLocalFileTime(FileTime u, FileTime* l) override { return os_.FileTimeToLocalFileTime(u, l); }
  bool FileTimeToDosDateTime(FileTime t, std::uint16_t* d, std::uint16_t* h) override {
    return os_.FileTimeToDosDateTime(t, d, h);
  }

  Handle CreateFileA(const char* p, std::uint32_t a, std::uint32_t s, std::uint32_t d, std::uint32_t f) override {
    return Timed(kOpenClose, [&] { return os_.CreateFileA(p, a, s, d, f); });
  }
  bool ReadFile(Handle f, void* b, std::uint32_t n, std::uint32_t* r) override {
    return Timed(kRead, [&] { return os_.ReadFile(f, b, n, r); });
  }
  bool WriteFile(Handle f, const void* b, std::uint32_t n, std::uint32_t* w) override {
    return Timed(kWrite, [&] { return os_.WriteFile(f, b, n, w); });
  }
  std::uint32_t GetFileSize(Handle f, std::uint32_t* h) override {
    return Timed(kPosition, [&] { return os_.GetFileSize(f, h); });
  }
  std::uint32_t SetFilePointer(Handle f, std::int32_t d, std::int32_t* h, std::uint32_t m) override {
    return Timed(kPosition, [&] { return os_.SetFilePointer(f, d, h, m); });
  }
  bool SetEndOfFile(Handle f) override { return Timed(kWrite, [&] { return os_.SetEndOfFile(f); }); }
  bool FlushFileBuffers(Handle f) override { return Timed(kFlush, [&] { return os_.FlushFileBuffers(f); }); }
  bool CloseHandle(Handle o) override { return Timed(kOpenClose, [&] { return os_.CloseHandle(o); }); }

  Handle OpenProcess(std::uint32_t a, bool i, std::uint32_t p) override { return os_.OpenProcess(a, i, p); }
  bool TerminateProcess(Handle p, std::uint32_t c) override { return os_.TerminateProcess(p, c); }
  Handle GetCurrentProcess() override { return os_.GetCurrentProcess(); }
  Handle GetModuleHandleA(const char* n) override { return os_.GetModuleHandleA(n); }
  vx::FarProc GetProcAddress(Handle m, const char* n) override { return os_.GetProcAddress(m, n); }
  Handle CreateThread(vx::ThreadProc b, void* p, std::uint32_t* id) override { return os_.CreateThread(b, p, id); }
  std::uint32_t WaitForSingleObject(Handle o, std::uint32_t ms) override { return os_.WaitForSingleObject(o, ms); }
  void Sleep(std::uint32_t) override {}  // the one difference
  std::uint32_t GetTickCount() override { return os_.GetTickCount(); }
  std::uint32_t TimeBeginPeriod(std::uint32_t ms) override { return os_.TimeBeginPeriod(ms); }
  std::uint32_t TimeEndPeriod(std::uint32_t ms) override { return os_.TimeEndPeriod(ms); }

  std::int32_t RegCreateKeyExA(Handle r, const char* s, std::uint32_t o, std::uint32_t a, Handle* k,
                               std::uint32_t* d) override {
    return os_.RegCreateKeyExA(r, s, o, a, k, d);
  }
  std::int32_t RegSetValueExA(Handle k, const char* n, std::uint32_t t, const void* d, std::uint32_t s) override {
    return os_.RegSetValueExA(k, n, t, d, s);
  }
  std::int32_t RegCloseKey(Handle k) override { return os_.RegCloseKey(k); }

  std::uint32_t CharUpperBuffA(char* t, std::uint32_t n) override { return os_.CharUpperBuffA(t, n); }

 private:
  template <class Call>
  auto Timed(CallKind kind, Call call) -> decltype(call()) {
    if (!timing) return call();
    double t0 = SecondsNow();
    auto result = call();
    seconds[kind] += SecondsNow() - t0;
    ++calls[kind];
    return result;
  }

  vx::Win32Platform os_;
};

}  // namespace bench
