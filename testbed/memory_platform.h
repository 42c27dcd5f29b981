// An in-memory Windows machine for the tests: drives of every type, folders,
// files with their bytes, attributes and last-write times, open handles with
// share modes, processes, a registry, kernel32's exported names, and a clock
// whose Sleep advances virtual time instead of waiting. Any platform call can
// be made to fail on demand, so that every step of a rewrite can be tested.
//
// Paths are compared without regard to ASCII case, as Windows does. Folders
// list their entries in the order they were added ("." and ".." first in a
// subfolder, never at a drive root). Names and paths are UTF-8; paths longer
// than 260 UTF-16 units are refused with ERROR_FILENAME_EXCED_RANGE, as
// Windows refuses them to a program that is not long-path aware, and bytes
// that are no UTF-8 with ERROR_INVALID_NAME.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testbed/forwarding_platform.h"  // Op, the calls the machine counts and fails

namespace vx {

struct RegValueData {
  std::uint32_t type = 0;
  std::string data;
};

class MemoryPlatform : public Platform {
 public:
  // A machine with fixed drive C: holding C:\windows\system32\drivers, the
  // system folder "C:\windows\system32", time zone UTC+8, kernel32 loaded with
  // all sixteen ToolHelp names, IsWow64Process and the two file-system
  // redirection functions, not running under WOW64.
  MemoryPlatform();
  ~MemoryPlatform() override;

  // ---- Building the machine -------------------------------------------------
  void AddDrive(char letter, std::uint32_t type);  // also makes the empty root folder
  void SetDriveType(char letter, std::uint32_t type);
  void AddFolder(const std::string& path, std::uint32_t attributes = kAttrDirectory);  // parents too
  void AddFile(const std::string& path, const std::string& bytes, std::uint32_t attributes = kAttrArchive,
               FileTime lastWrite = kDefaultTime);  // parents too; replaces an existing file
  // A file whose length is size and whose bytes read as zeros, without storing them.
  void AddSparseFile(const std::string& path, std::uint64_t size, std::uint32_t attributes = kAttrArchive);
  // A folder entry that leads to another folder's content: a junction, a
  // symbolic link (kTagSymlink), or with tag 0 what Wine lists for a Unix link.
  void AddFolderLink(const std::string& path, const std::string& target, std::uint32_t tag = kTagMountPoint);
  // A volume without a letter of its own, mounted into a folder: a link with
  // the junction's tag that GetVolumeNameForVolumeMountPointW tells apart.
  void AddVolumeMountPoint(const std::string& path, const std::string& target);
  // An ordinary entry that carries a reparse point (a cloud placeholder, a deduplicated file).
  void SetReparseTag(const std::string& path, std::uint32_t tag);
  // The 8.3 name of an entry, as SetFileShortNameA sets it or another system
  // writes it onto a FAT disk; listings report it and patterns match it.
  void SetShortName(const std::string& path, const std::string& shortName);
  // Names in this folder differ in the case of their letters from now on, as
  // in a folder made case-sensitive on NTFS; its patterns still ignore case.
  void SetCaseSensitive(const std::string& folder);
  void SetSystemDirectory(const std::string& path);  // "" makes GetSystemDirectoryA fail
  void SetTimeZoneOffsetMinutes(int minutes);
  // Windows refuses CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL on a hidden or
  // system file, and any write open of a read-only file; Wine running as root
  // does neither. Default: refuse, as Windows does.
  void SetRefusesProtectedFiles(bool refuses);

  // ---- Looking at it ------------------------------------------------------------
  bool Exists(const std::string& path) const;      // file or folder
  bool IsFolder(const std::string& path) const;
  std::string FileBytes(const std::string& path) const;  // "" when missing
  std::uint64_t FileSize(const std::string& path) const;
  std::uint32_t Attributes(const std::string& path) const;  // kInvalidFileAttributes when missing
  FileTime LastWriteTime(const std::string& path) const;
  std::vector<std::string> ListNames(const std::string& folder) const;  // without "." and ".."
  int OpenHandleCount() const;  // files, searches, snapshots, processes, keys, threads

  // ---- Processes and kernel32 -----------------------------------------------------
  // Adds a running process; its image file (if given) is held open by it, so it
  // can be neither written nor deleted until the process ends.
  std::uint32_t AddProcess(const std::string& exeName, const std::string& imagePath = "",
                           bool canOpen = true, bool canTerminate = true);
  bool ProcessRunning(std::uint32_t pid) const;
  std::vector<std::uint32_t> OpenProcessAccessSeen() const;  // access masks passed to OpenProcess
  void SetKernel32Loaded(bool loaded);
  void RemoveExport(const std::string& name);  // GetProcAddress then returns nullptr for it
  // IsWow64Process reports it; HKLM\SOFTWARE is redirected, and so is the
  // system folder, to C:\windows\SysWOW64, on threads that leave file-system
  // redirection on.
  void SetWow64(bool wow64);

  // ---- Registry ---------------------------------------------------------------------
  // keyPath as seen by a 64-bit program (redirected writes land under
  // "SOFTWARE\WOW6432Node\..."). Names compare without ASCII case.
  bool RegKeyExists(Handle root, const std::string& keyPath) const;
  std::optional<RegValueData> RegValue(Handle root, const std::string& keyPath, const std::string& name) const;
  void SetRegValue(Handle root, const std::string& keyPath, const std::string& name, RegValueData value);
  void SetRegistryWritable(bool writable);  // false: RegCreateKeyExA answers ERROR_ACCESS_DENIED
  std::vector<std::uint32_t> RegAccessSeen() const;  // access masks passed to RegCreateKeyExA

  // ---- Clock --------------------------------------------------------------------------
  std::uint64_t NowMs() const;             // virtual milliseconds since start
  std::vector<std::uint32_t> Sleeps() const;  // every Sleep argument, in order
  void OnSleep(std::function<void(std::uint32_t ms)> hook);  // runs inside Sleep, unlocked
  int TimerPeriodDepth() const;            // TimeBeginPeriod calls not yet ended

  // ---- Fault injection and tracing --------------------------------------------------
  // The nth call of op from now on (1 = the next one) fails with error and has
  // no effect; persistent: that call and every later one fail.
  void FailCall(Op op, int nth, std::uint32_t error, bool persistent = false);
  // The next WriteFile call that would pass this many bytes in total (counted
  // from now over all writes) writes only up to the limit, then fails with
  // error; shortWrite: it reports success with the short count instead.
  void FailWriteAfter(std::uint64_t bytes, std::uint32_t error = kErrorDiskFull, bool shortWrite = false);
  void ClearFaults();
  int FaultsFired() const;
  int CallCount(Op op) const;  // Op::Count: the calls of all operations together
  void ResetCallCounts();
  // A line per call, "Name argument" (e.g. "DeleteFileA C:\a\b.ini", "Sleep 10"),
  // kept while tracing is on.
  void SetTracing(bool on);
  std::vector<std::string> Trace() const;
  void ClearTrace();

  static constexpr FileTime kDefaultTime = 132539328000000000ull;  // 2021-01-01 00:00 UTC
  // The virtual clock as a file time: one day after kDefaultTime plus NowMs().
  // Writes stamp files with it.
  FileTime NowFileTime() const;

  // ---- kernel32's ToolHelp functions that GetProcAddress hands out ---------------------
  // They are plain functions acting on the current platform (Sys()); these
  // members do their work. Counted and failed as Op::CreateToolhelp32Snapshot,
  // Op::Process32First and Op::Process32Next (the wide functions).
  Handle ToolhelpSnapshot(std::uint32_t flags, std::uint32_t pid);
  bool ToolhelpProcess32(Handle snapshot, ProcessEntry32* entry, bool first);
  bool QueryWow64Process(Handle process, std::int32_t* wow64);
  bool DisableFsRedirection(void** oldValue);
  bool RevertFsRedirection(void* oldValue);

  // ---- Platform ------------------------------------------------------------------------
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
  Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                     std::uint32_t flagsAndAttributes) override;
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
  std::int32_t RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options, std::uint32_t access,
                               Handle* key, std::uint32_t* disposition) override;
  std::int32_t RegSetValueExA(Handle key, const char* valueName, std::uint32_t type, const void* data,
                              std::uint32_t size) override;
  std::int32_t RegCloseKey(Handle key) override;
  std::uint32_t CharUpperBuffA(const char* text, std::uint32_t length, char* upper, std::uint32_t size) override;

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace vx
