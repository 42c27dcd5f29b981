// VuxorHeldDisk.exe: the real program over a disk that stalls on cue, so that
// the end-to-end tests can end the program while a rewrite is half done, as a
// slow USB stick or network drive would leave it for many seconds.
//
// A file named held.exe is written as usual up to the end of its first write;
// its second write then waits until another process sets the event
// "vx-e2e-release-held". The program sets the event "vx-e2e-held" as the wait
// begins. Only the first such write waits; everything else is Vuxor.exe.
#include <windows.h>

#include <cstring>
#include <map>

#include "app/program.h"
#include "platform/win32/win32_platform.h"

namespace {

class HeldDisk : public vx::Win32Platform {
 public:
  HeldDisk() {
    InitializeCriticalSection(&lock_);
    held_ = CreateEventA(nullptr, TRUE, FALSE, "vx-e2e-held");
    release_ = CreateEventA(nullptr, TRUE, FALSE, "vx-e2e-release-held");
  }

  vx::Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                         std::uint32_t flagsAndAttributes) override {
    vx::Handle file = Win32Platform::CreateFileA(path, access, share, disposition, flagsAndAttributes);
    if (file != vx::kInvalidHandle && (access & vx::kGenericWrite) && IsHeldName(path)) {
      EnterCriticalSection(&lock_);
      writes_[file] = 0;
      LeaveCriticalSection(&lock_);
    }
    return file;
  }

  bool WriteFile(vx::Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override {
    EnterCriticalSection(&lock_);
    auto it = writes_.find(file);
    bool hold = it != writes_.end() && ++it->second == 2 && !heldOnce_;
    if (hold) heldOnce_ = true;
    LeaveCriticalSection(&lock_);
    if (hold) {
      ::SetEvent(held_);
      ::WaitForSingleObject(release_, INFINITE);
    }
    return Win32Platform::WriteFile(file, buffer, toWrite, written);
  }

  bool CloseHandle(vx::Handle object) override {
    EnterCriticalSection(&lock_);
    writes_.erase(object);
    LeaveCriticalSection(&lock_);
    return Win32Platform::CloseHandle(object);
  }

 private:
  static bool IsHeldName(const char* path) {
    const char* name = std::strrchr(path, '\\');
    return lstrcmpiA(name != nullptr ? name + 1 : path, "held.exe") == 0;
  }

  CRITICAL_SECTION lock_;
  std::map<vx::Handle, int> writes_;  // writes so far to each open held.exe
  bool heldOnce_ = false;
  HANDLE held_;
  HANDLE release_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  static HeldDisk disk;
  return vx::RunProgram(instance, show, &disk);
}
