// The operating-system seam. Every call the cleaning engine makes into Windows
// goes through one of these methods, named after the Win32 function it stands
// for and keeping that function's meaning (arguments, results, last error).
// Two implementations exist: the Win32 adapter used by the real program, and an
// in-memory machine used by the tests, which can also fail any call on demand.
//
// The methods ending in A keep the ANSI names (the wide names would collide
// with the A/W macros of <windows.h>) but mean the ANSI calls as they behave
// on a system whose ANSI code page is UTF-8: every text, name and path is
// UTF-8 bytes, and the Win32 adapter converts it to and from the wide calls.
// Text that is no valid UTF-8 is refused as an invalid name. A path is one
// the wide calls take without the long-path prefix: fewer than kMaxPath
// UTF-16 units.
#pragma once
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VX_WINAPI __stdcall
#else
#define VX_WINAPI
#endif

namespace vx {

// One handle type for files, searches, processes, threads, snapshots, modules
// and registry keys, as wide as a pointer so the Win32 adapter can hold a HANDLE.
using Handle = std::uintptr_t;
constexpr Handle kNullHandle = 0;
constexpr Handle kInvalidHandle = ~Handle(0);  // INVALID_HANDLE_VALUE
constexpr Handle kCurrentProcess = ~Handle(0);  // GetCurrentProcess(): a pseudo handle of the same value

// Root keys as Win32 defines them; the predefined ones run from
// HKEY_CLASSES_ROOT to HKEY_DYN_DATA.
constexpr Handle kHkeyClassesRoot = 0x80000000u;
constexpr Handle kHkeyCurrentUser = 0x80000001u;
constexpr Handle kHkeyLocalMachine = 0x80000002u;
constexpr Handle kHkeyDynData = 0x80000006u;

// MAX_PATH: a path in UTF-16 units with its terminating zero.
constexpr std::uint32_t kMaxPath = 260;
// A listed name in UTF-8 bytes with its zero: up to kMaxPath - 1 UTF-16 units,
// each of which takes at most 3 bytes (a surrogate pair takes 4 for 2 units).
constexpr std::uint32_t kMaxNameBytes = (kMaxPath - 1) * 3 + 1;

// Error codes (GetLastError / registry results) the project names.
enum : std::uint32_t {
  kErrorSuccess = 0,
  kErrorInvalidFunction = 1,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotEnoughMemory = 8,
  kErrorNoMoreFiles = 18,
  kErrorNotReady = 21,
  kErrorBadLength = 24,
  kErrorWriteFault = 29,
  kErrorReadFault = 30,
  kErrorSharingViolation = 32,
  kErrorLockViolation = 33,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInvalidName = 123,
  kErrorModNotFound = 126,
  kErrorProcNotFound = 127,
  kErrorNegativeSeek = 131,
  kErrorBadPathname = 161,
  kErrorAlreadyExists = 183,
  kErrorFilenameExcedRange = 206,
  kErrorDirectory = 267,
  kErrorNoUnicodeTranslation = 1113,
  kErrorNoAccess = 998,  // a buffer the call cannot write or read
  kErrorNotAReparsePoint = 4390,
};

// Reparse tags (WIN32_FIND_DATA's dwReserved0 when the entry has kAttrReparsePoint).
enum : std::uint32_t {
  kTagNameSurrogate = 0x20000000u,  // the entry stands for another entry: a link
  kTagMountPoint = 0xA0000003u,     // a junction, or a volume mounted into a folder
  kTagSymlink = 0xA000000Cu,
  kTagCloudFiles = 0x9000001Au,     // a cloud storage client's placeholder
  kTagDedup = 0x80000013u,
};

// File attribute bits.
enum : std::uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolumeLabel = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrTemporary = 0x100,
  kAttrReparsePoint = 0x400,
  kAttrOffline = 0x1000,
  kAttrNotContentIndexed = 0x2000,
  kAttrRecallOnOpen = 0x00040000,        // a folder whose listing a storage client fills on first use
  kAttrRecallOnDataAccess = 0x00400000,  // a file whose bytes a storage client fetches when it is read
  kInvalidFileAttributes = 0xFFFFFFFFu,
};

// Access rights, and CreateFileA share and disposition values.
enum : std::uint32_t {
  kGenericRead = 0x80000000u,
  kGenericWrite = 0x40000000u,
  kGenericAll = 0x10000000u,
  kMaximumAllowed = 0x02000000u,
  kDeleteAccess = 0x00010000u,  // DELETE
  kFileReadData = 0x1,
  kFileWriteData = 0x2,
  kFileAppendData = 0x4,
  kFileShareRead = 0x1,
  kFileShareWrite = 0x2,
  kFileShareDelete = 0x4,
  kCreateNew = 1,
  kCreateAlways = 2,
  kOpenExisting = 3,
  kOpenAlways = 4,
  kTruncateExisting = 5,
};

// SetFilePointer move methods and failure marks.
enum : std::uint32_t {
  kFileBegin = 0,
  kFileCurrent = 1,
  kFileEnd = 2,
  kInvalidSetFilePointer = 0xFFFFFFFFu,
  kInvalidFileSize = 0xFFFFFFFFu,
};

// GetDriveTypeA results.
enum : std::uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// WaitForSingleObject results, and timeBeginPeriod / timeEndPeriod results.
enum : std::uint32_t {
  kWaitObject0 = 0,
  kWaitTimeout = 258,
  kWaitFailed = 0xFFFFFFFFu,
  kInfinite = 0xFFFFFFFFu,
  kTimerNoError = 0,
  kTimerNoCando = 97,
};

// Registry.
enum : std::uint32_t {
  kRegSz = 1,
  kRegDword = 4,
  kRegOptionNonVolatile = 0,
  kKeySetValue = 0x0002,
  kKeyRead = 0x20019,
  kKeyWrite = 0x20006,
  kKeyWow64_64Key = 0x0100,
  kRegCreatedNewKey = 1,
  kRegOpenedExistingKey = 2,
};

// Process access rights; the sweep passes the classic PROCESS_ALL_ACCESS value.
constexpr std::uint32_t kProcessTerminate = 0x0001;
constexpr std::uint32_t kProcessQueryInformation = 0x0400;
constexpr std::uint32_t kProcessAllAccessClassic = 0x1F0FFF;
constexpr std::uint32_t kTh32csSnapProcess = 2;

// A FILETIME as one 64-bit count of 100 ns ticks since 1601-01-01 UTC.
using FileTime = std::uint64_t;

// The fields of WIN32_FIND_DATAW that anybody reads, the names in UTF-8.
struct FindData {
  std::uint32_t attributes = 0;
  FileTime creationTime = 0;
  FileTime lastAccessTime = 0;
  FileTime lastWriteTime = 0;
  std::uint32_t sizeHigh = 0;
  std::uint32_t sizeLow = 0;
  char name[kMaxNameBytes] = {};  // zero-terminated
  char alternateName[14 * 3] = {};  // the 8.3 short name, zero-terminated; empty when the name is one itself
  std::uint32_t reparseTag = 0;  // dwReserved0: meaningful only with kAttrReparsePoint; 0 when none is given
};

// The wide PROCESSENTRY32W record laid out as the system lays it out for the
// program's own processor: the default-heap field is pointer sized, so the
// record is 556 bytes in the 32-bit program and 568 in the 64-bit one.
// Process32First refuses a record shorter than its own layout for the caller.
struct ProcessEntry32 {
  std::uint32_t dwSize;
  std::uint32_t cntUsage;
  std::uint32_t th32ProcessID;
  std::uintptr_t th32DefaultHeapID;
  std::uint32_t th32ModuleID;
  std::uint32_t cntThreads;
  std::uint32_t th32ParentProcessID;
  std::int32_t pcPriClassBase;
  std::uint32_t dwFlags;
  char16_t szExeFile[kMaxPath];  // UTF-16, zero-terminated
};
static_assert(sizeof(ProcessEntry32) == (sizeof(void*) == 8 ? 568 : 556), "PROCESSENTRY32W of this build");

// Shapes of the functions found with GetProcAddress.
using FarProc = void(VX_WINAPI*)();
using CreateToolhelp32SnapshotFn = Handle(VX_WINAPI*)(std::uint32_t flags, std::uint32_t pid);
using Process32Fn = std::int32_t(VX_WINAPI*)(Handle snapshot, ProcessEntry32* entry);
using IsWow64ProcessFn = std::int32_t(VX_WINAPI*)(Handle process, std::int32_t* wow64);
using Wow64DisableFsRedirectionFn = std::int32_t(VX_WINAPI*)(void** oldValue);
using Wow64RevertFsRedirectionFn = std::int32_t(VX_WINAPI*)(void* oldValue);

using ThreadProc = std::uint32_t(VX_WINAPI*)(void* param);

class Platform {
 public:
  virtual ~Platform() = default;

  // Folder listing and file facts.
  virtual Handle FindFirstFileA(const char* pattern, FindData* data) = 0;  // kInvalidHandle on failure
  virtual bool FindNextFileA(Handle search, FindData* data) = 0;
  virtual bool FindClose(Handle search) = 0;
  virtual std::uint32_t GetLastError() = 0;  // of the calling thread
  virtual void SetLastError(std::uint32_t code) = 0;
  virtual std::uint32_t GetFileAttributesA(const char* path) = 0;  // kInvalidFileAttributes on failure
  virtual bool SetFileAttributesA(const char* path, std::uint32_t attributes) = 0;
  virtual bool DeleteFileA(const char* path) = 0;
  virtual std::uint32_t GetDriveTypeA(const char* root) = 0;
  // GetVolumeNameForVolumeMountPointW, in UTF-8: true only for a folder (given
  // with its final "\") where a volume is mounted, whose "\\?\Volume{...}\"
  // name then goes to volumeName. A junction, or any other folder, fails.
  virtual bool GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName, std::uint32_t size) = 0;
  // Copies the system folder (e.g. "C:\windows\system32") into buffer; returns
  // its length, or the size needed when the buffer is too small, 0 on failure.
  virtual std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) = 0;
  virtual bool FileTimeToLocalFileTime(FileTime utc, FileTime* local) = 0;
  virtual bool FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) = 0;

  // File content.
  virtual Handle CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t disposition, std::uint32_t flagsAndAttributes) = 0;
  virtual bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) = 0;
  virtual bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) = 0;
  // Low 32 bits of the length; the high 32 bits go to *high when it is given.
  virtual std::uint32_t GetFileSize(Handle file, std::uint32_t* high) = 0;
  virtual std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                                       std::uint32_t method) = 0;
  virtual bool SetEndOfFile(Handle file) = 0;
  virtual bool FlushFileBuffers(Handle file) = 0;
  virtual bool CloseHandle(Handle object) = 0;

  // Processes, threads, modules, time.
  virtual Handle OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) = 0;  // kNullHandle on failure
  virtual bool TerminateProcess(Handle process, std::uint32_t exitCode) = 0;
  virtual Handle GetCurrentProcess() = 0;
  virtual Handle GetModuleHandleA(const char* name) = 0;  // kNullHandle when not loaded
  virtual FarProc GetProcAddress(Handle module, const char* name) = 0;  // nullptr when absent
  virtual Handle CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) = 0;  // kNullHandle on failure
  virtual std::uint32_t WaitForSingleObject(Handle object, std::uint32_t milliseconds) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Kept for the platform contract, which measures Sleep with it; the engine
  // itself never reads the clock.
  virtual std::uint32_t GetTickCount() = 0;
  virtual std::uint32_t TimeBeginPeriod(std::uint32_t milliseconds) = 0;  // 0 (TIMERR_NOERROR) on success
  virtual std::uint32_t TimeEndPeriod(std::uint32_t milliseconds) = 0;

  // Registry. Results are Win32 error codes, 0 on success.
  virtual std::int32_t RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options,
                                       std::uint32_t access, Handle* key, std::uint32_t* disposition) = 0;
  virtual std::int32_t RegSetValueExA(Handle key, const char* valueName, std::uint32_t type,
                                      const void* data, std::uint32_t size) = 0;
  virtual std::int32_t RegCloseKey(Handle key) = 0;

  // Upper-cases length bytes of UTF-8 text as CharUpperBuffW maps their UTF-16
  // form, into upper (size bytes, no zero added). The UTF-16 form keeps its
  // length but the UTF-8 one may not, so the result has its own: returns the
  // bytes written, the size needed when size is too small, or 0 with
  // ERROR_NO_UNICODE_TRANSLATION when the text is no valid UTF-8.
  virtual std::uint32_t CharUpperBuffA(const char* text, std::uint32_t length, char* upper,
                                       std::uint32_t size) = 0;
};

// The platform the program runs on, set once at start-up; tests swap it.
Platform& Sys();
void SetPlatform(Platform* platform);

}  // namespace vx
