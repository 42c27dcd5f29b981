// The real operating system behind the platform seam: every method is one call
// of the wide Win32 function it is named after, its text converted between
// UTF-8 and UTF-16 on the way, with the arguments the seam leaves
// out filled in the way the engine always passes them (no security attributes,
// no template file, no overlapped record, default thread stack).
#pragma once
#include "platform/platform.h"

namespace vx {

class Win32Platform : public Platform {
 public:
  Win32Platform();  // binds winmm's timer functions from the system folder

  Handle FindFirstFileA(const char* pattern, FindData* data) override;
  bool FindNextFileA(Handle search, FindData* data) override;
  bool FindClose(Handle search) override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t code) override;
  std::uint32_t GetFileAttributesA(const char* path) override;
  bool SetFileAttributesA(const char* path, std::uint32_t attributes) override;
  bool DeleteFileA(const char* path) override;
  std::uint32_t GetDriveTypeA(const char* root) override;
  bool GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName, std::uint32_t size) override;
  std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;
  bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) override;
  bool FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) override;

  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t disposition, std::uint32_t flagsAndAttributes) override;
  bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override;
  bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) override;
  std::uint32_t GetFileSize(Handle file, std::uint32_t* high) override;
  std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                               std::uint32_t method) override;
  bool SetEndOfFile(Handle file) override;
  bool FlushFileBuffers(Handle file) override;
  bool CloseHandle(Handle object) override;

  Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  Handle GetCurrentProcess() override;
  Handle GetModuleHandleA(const char* name) override;
  FarProc GetProcAddress(Handle module, const char* name) override;
  Handle CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) override;
  std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::uint32_t GetTickCount() override;
  std::uint32_t TimeBeginPeriod(std::uint32_t milliseconds) override;
  std::uint32_t TimeEndPeriod(std::uint32_t milliseconds) override;

  std::int32_t RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options,
                               std::uint32_t access, Handle* key, std::uint32_t* disposition) override;
  std::int32_t RegSetValueExA(Handle key, const char* valueName, std::uint32_t type,
                              const void* data, std::uint32_t size) override;
  std::int32_t RegCloseKey(Handle key) override;

  std::uint32_t CharUpperBuffA(const char* text, std::uint32_t length, char* upper, std::uint32_t size) override;
};

}  // namespace vx
