// A platform that passes every call on to another platform. Whatever wraps a
// platform derives from it and overrides only what it changes: the fault plan
// over the in-memory machine, the benchmarks' platform without pauses over the
// real system. Every call that can fail also passes Enter and Leave, so a
// wrapper that watches all of them (counts them, fails them, times them) says
// so once. Header only and bound to nothing but the platform seam, so the
// Windows build's benchmarks include it as the native tests do.
#pragma once
#include <cstdint>

#include "platform/platform.h"

namespace vx {

// One value per platform call that can fail, and the three ToolHelp functions
// kernel32 hands out, for fault injection and call counts.
enum class Op {
  FindFirstFileA, FindNextFileA, FindClose, GetFileAttributesA, SetFileAttributesA,
  DeleteFileA, GetDriveTypeA, GetSystemDirectoryA, FileTimeToLocalFileTime,
  FileTimeToDosDateTime, CreateFileA, ReadFile, WriteFile, GetFileSize, SetFilePointer,
  SetEndOfFile, FlushFileBuffers, CloseHandle, OpenProcess, TerminateProcess,
  GetModuleHandleA, GetProcAddress, CreateThread, WaitForSingleObject,
  RegCreateKeyExA, RegSetValueExA, RegCloseKey,
  CreateToolhelp32Snapshot, Process32First, Process32Next,
  GetVolumeNameForVolumeMountPointW,
  Count
};

inline const char* OpName(Op op) {
  static const char* const kNames[] = {
      "FindFirstFileA", "FindNextFileA", "FindClose", "GetFileAttributesA", "SetFileAttributesA",
      "DeleteFileA", "GetDriveTypeA", "GetSystemDirectoryA", "FileTimeToLocalFileTime",
      "FileTimeToDosDateTime", "CreateFileA", "ReadFile", "WriteFile", "GetFileSize", "SetFilePointer",
      "SetEndOfFile", "FlushFileBuffers", "CloseHandle", "OpenProcess", "TerminateProcess",
      "GetModuleHandleA", "GetProcAddress", "CreateThread", "WaitForSingleObject",
      "RegCreateKeyExA", "RegSetValueExA", "RegCloseKey",
      "CreateToolhelp32Snapshot", "Process32First", "Process32Next",
      "GetVolumeNameForVolumeMountPointW"};
  static_assert(sizeof(kNames) / sizeof(kNames[0]) == static_cast<int>(Op::Count), "one name per Op");
  int index = static_cast<int>(op);
  return index >= 0 && index < static_cast<int>(Op::Count) ? kNames[index] : "?";
}

// A call as a watcher sees it: the operation and what it acts on: the path,
// pattern or name it was given, the handle, or a number (bytes to write, a
// process id).
struct PlatformCall {
  Op op;
  const char* name = nullptr;
  Handle handle = kNullHandle;
  std::uint32_t number = 0;
};

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& next) : next_(next) {}
  Platform& Next() const { return next_; }

  Handle FindFirstFileA(const char* pattern, FindData* data) override {
    return Pass({Op::FindFirstFileA, pattern}, [&] { return next_.FindFirstFileA(pattern, data); });
  }
  bool FindNextFileA(Handle search, FindData* data) override {
    return Pass({Op::FindNextFileA, nullptr, search}, [&] { return next_.FindNextFileA(search, data); });
  }
  bool FindClose(Handle search) override {
    return Pass({Op::FindClose, nullptr, search}, [&] { return next_.FindClose(search); });
  }
  std::uint32_t GetLastError() override { return next_.GetLastError(); }
  void SetLastError(std::uint32_t code) override { next_.SetLastError(code); }
  std::uint32_t GetFileAttributesA(const char* path) override {
    return Pass({Op::GetFileAttributesA, path}, [&] { return next_.GetFileAttributesA(path); });
  }
  bool SetFileAttributesA(const char* path, std::uint32_t attributes) override {
    return Pass({Op::SetFileAttributesA, path}, [&] { return next_.SetFileAttributesA(path, attributes); });
  }
  bool DeleteFileA(const char* path) override {
    return Pass({Op::DeleteFileA, path}, [&] { return next_.DeleteFileA(path); });
  }
  std::uint32_t GetDriveTypeA(const char* root) override {
    return Pass({Op::GetDriveTypeA, root}, [&] { return next_.GetDriveTypeA(root); });
  }
  bool GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName, std::uint32_t size) override {
    return Pass({Op::GetVolumeNameForVolumeMountPointW, mountPoint},
                [&] { return next_.GetVolumeNameForVolumeMountPointW(mountPoint, volumeName, size); });
  }
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override {
    return Pass({Op::GetSystemDirectoryA}, [&] { return next_.GetSystemDirectoryA(buffer, size); });
  }
  bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) override {
    return Pass({Op::FileTimeToLocalFileTime}, [&] { return next_.FileTimeToLocalFileTime(utc, local); });
  }
  bool FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) override {
    return Pass({Op::FileTimeToDosDateTime}, [&] { return next_.FileTimeToDosDateTime(time, dosDate, dosTime); });
  }

  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                     std::uint32_t flagsAndAttributes) override {
    return Pass({Op::CreateFileA, path},
                [&] { return next_.CreateFileA(path, access, share, disposition, flagsAndAttributes); });
  }
  bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override {
    return Pass({Op::ReadFile, nullptr, file, toRead}, [&] { return next_.ReadFile(file, buffer, toRead, read); });
  }
  bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override {
    return Pass({Op::WriteFile, nullptr, file, toWrite},
                [&] { return next_.WriteFile(file, buffer, toWrite, written); });
  }
  std::uint32_t GetFileSize(Handle file, std::uint32_t* high) override {
    return Pass({Op::GetFileSize, nullptr, file}, [&] { return next_.GetFileSize(file, high); });
  }
  std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                               std::uint32_t method) override {
    return Pass({Op::SetFilePointer, nullptr, file},
                [&] { return next_.SetFilePointer(file, distance, distanceHigh, method); });
  }
  bool SetEndOfFile(Handle file) override {
    return Pass({Op::SetEndOfFile, nullptr, file}, [&] { return next_.SetEndOfFile(file); });
  }
  bool FlushFileBuffers(Handle file) override {
    return Pass({Op::FlushFileBuffers, nullptr, file}, [&] { return next_.FlushFileBuffers(file); });
  }
  bool CloseHandle(Handle object) override {
    return Pass({Op::CloseHandle, nullptr, object}, [&] { return next_.CloseHandle(object); });
  }

  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override {
    return Pass({Op::OpenProcess, nullptr, kNullHandle, pid}, [&] { return next_.OpenProcess(access, inherit, pid); });
  }
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override {
    return Pass({Op::TerminateProcess, nullptr, process}, [&] { return next_.TerminateProcess(process, exitCode); });
  }
  Handle GetCurrentProcess() override { return next_.GetCurrentProcess(); }
  Handle GetModuleHandleA(const char* name) override {
    return Pass({Op::GetModuleHandleA, name}, [&] { return next_.GetModuleHandleA(name); });
  }
  FarProc GetProcAddress(Handle module, const char* name) override {
    return Pass({Op::GetProcAddress, name, module}, [&] { return next_.GetProcAddress(module, name); });
  }
  Handle CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) override {
    return Pass({Op::CreateThread}, [&] { return next_.CreateThread(body, param, threadId); });
  }
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override {
    return Pass({Op::WaitForSingleObject, nullptr, object},
                [&] { return next_.WaitForSingleObject(object, milliseconds); });
  }
  void Sleep(std::uint32_t milliseconds) override { next_.Sleep(milliseconds); }
  std::uint32_t GetTickCount() override { return next_.GetTickCount(); }
  std::uint32_t TimeBeginPeriod(std::uint32_t ms) override { return next_.TimeBeginPeriod(ms); }
  std::uint32_t TimeEndPeriod(std::uint32_t ms) override { return next_.TimeEndPeriod(ms); }

  std::int32_t RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options, std::uint32_t access,
                               Handle* key, std::uint32_t* disposition) override {
    return Pass({Op::RegCreateKeyExA, subKey, root},
                [&] { return next_.RegCreateKeyExA(root, subKey, options, access, key, disposition); });
  }
  std::int32_t RegSetValueExA(Handle key, const char* valueName, std::uint32_t type, const void* data,
                              std::uint32_t size) override {
    return Pass({Op::RegSetValueExA, valueName, key, size},
                [&] { return next_.RegSetValueExA(key, valueName, type, data, size); });
  }
  std::int32_t RegCloseKey(Handle key) override {
    return Pass({Op::RegCloseKey, nullptr, key}, [&] { return next_.RegCloseKey(key); });
  }
  std::uint32_t CharUpperBuffA(const char* text, std::uint32_t length, char* upper, std::uint32_t size) override {
    return next_.CharUpperBuffA(text, length, upper, size);
  }

 protected:
  // Around every call that can fail, on the calling thread.
  virtual void Enter(const PlatformCall&) {}
  virtual void Leave(const PlatformCall&) {}

 private:
  template <class Call>
  auto Pass(const PlatformCall& call, Call forward) -> decltype(forward()) {
    Enter(call);
    auto result = forward();
    Leave(call);
    return result;
  }

  Platform& next_;
};

}  // namespace vx
