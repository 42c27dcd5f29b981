// Thin forwarding to kernel32, user32, advapi32 and winmm. Nothing here decides
// anything: results and last-error values come back exactly as the system gives
// them, so that the engine behaves on Windows as it does over the in-memory
// machine that imitates these calls.
#include "platform/win32/win32_platform.h"

#include <windows.h>
#include <mmsystem.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace vx {
namespace {

static_assert(sizeof(Handle) == sizeof(HANDLE), "a Handle holds a HANDLE");
static_assert(sizeof(ProcessEntry32) == sizeof(PROCESSENTRY32), "same layout as PROCESSENTRY32 (ANSI)");
static_assert(offsetof(ProcessEntry32, th32DefaultHeapID) == offsetof(PROCESSENTRY32, th32DefaultHeapID) &&
                  offsetof(ProcessEntry32, szExeFile) == offsetof(PROCESSENTRY32, szExeFile),
              "same field offsets as PROCESSENTRY32 (ANSI)");

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle V(HANDLE h) { return reinterpret_cast<Handle>(h); }

FileTime FromFiletime(const FILETIME& t) {
  return (FileTime(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}
FILETIME ToFiletime(FileTime t) {
  FILETIME f;
  f.dwLowDateTime = static_cast<DWORD>(t);
  f.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return f;
}

void CopyFindData(const WIN32_FIND_DATAA& from, FindData* to) {
  to->attributes = from.dwFileAttributes;
  to->creationTime = FromFiletime(from.ftCreationTime);
  to->lastAccessTime = FromFiletime(from.ftLastAccessTime);
  to->lastWriteTime = FromFiletime(from.ftLastWriteTime);
  to->sizeHigh = from.nFileSizeHigh;
  to->sizeLow = from.nFileSizeLow;
  static_assert(sizeof(to->name) == sizeof(from.cFileName), "MAX_PATH names");
  std::memcpy(to->name, from.cFileName, sizeof(to->name));
  to->name[sizeof(to->name) - 1] = '\0';
  static_assert(sizeof(to->alternateName) == sizeof(from.cAlternateFileName), "8.3 names");
  std::memcpy(to->alternateName, from.cAlternateFileName, sizeof(to->alternateName));
  to->alternateName[sizeof(to->alternateName) - 1] = '\0';
  to->reparseTag = (from.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? from.dwReserved0 : 0;
}

// UTF-8 text as UTF-16 for the wide calls; empty when it is no valid UTF-8.
std::wstring WideOf(const char* text) {
  int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (units <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], units);
  wide.resize(static_cast<std::size_t>(units - 1));
  return wide;
}

}  // namespace

Handle Win32Platform::FindFirstFileA(const char* pattern, FindData* data) {
  WIN32_FIND_DATAA found;
  HANDLE h = ::FindFirstFileA(pattern, &found);
  if (h != INVALID_HANDLE_VALUE) CopyFindData(found, data);
  return V(h);
}

bool Win32Platform::FindNextFileA(Handle search, FindData* data) {
  WIN32_FIND_DATAA found;
  if (!::FindNextFileA(H(search), &found)) return false;
  CopyFindData(found, data);
  return true;
}

bool Win32Platform::FindClose(Handle search) { return ::FindClose(H(search)) != FALSE; }
std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }
void Win32Platform::SetLastError(std::uint32_t code) { ::SetLastError(code); }
std::uint32_t Win32Platform::GetFileAttributesA(const char* path) { return ::GetFileAttributesA(path); }

bool Win32Platform::SetFileAttributesA(const char* path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path, attributes) != FALSE;
}

bool Win32Platform::DeleteFileA(const char* path) { return ::DeleteFileA(path) != FALSE; }
std::uint32_t Win32Platform::GetDriveTypeA(const char* root) { return ::GetDriveTypeA(root); }

bool Win32Platform::GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName, std::uint32_t size) {
  const std::wstring wide = WideOf(mountPoint);
  if (wide.empty()) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  WCHAR name[50] = {};  // "\\?\Volume{GUID}\" and its zero: 50 units, as the call documents
  if (!::GetVolumeNameForVolumeMountPointW(wide.c_str(), name, 50)) return false;
  return ::WideCharToMultiByte(CP_UTF8, 0, name, -1, volumeName, static_cast<int>(size), nullptr, nullptr) != 0;
}

std::uint32_t Win32Platform::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  return ::GetSystemDirectoryA(buffer, size);
}

bool Win32Platform::FileTimeToLocalFileTime(FileTime utc, FileTime* local) {
  FILETIME in = ToFiletime(utc), out;
  if (!::FileTimeToLocalFileTime(&in, &out)) return false;
  *local = FromFiletime(out);
  return true;
}

// 2108-01-01 00:00:00, the first moment the MS-DOS format cannot hold.
constexpr FileTime kDosTimeEnd = 159992928000000000ull;

bool Win32Platform::FileTimeToDosDateTime(FileTime time, std::uint16_t* dosDate, std::uint16_t* dosTime) {
  // Windows refuses times after 2107; Wine (8.0) wraps the year into the
  // 7-bit field instead, which would make a file dated 2110 look like 1982.
  if (time >= kDosTimeEnd) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  FILETIME in = ToFiletime(time);
  WORD date = 0, clock = 0;
  if (!::FileTimeToDosDateTime(&in, &date, &clock)) return false;
  *dosDate = date;
  *dosTime = clock;
  return true;
}

Handle Win32Platform::CreateFileA(const char* path, std::uint32_t access, std::uint32_t share,
                                  std::uint32_t disposition, std::uint32_t flagsAndAttributes) {
  return V(::CreateFileA(path, access, share, nullptr, disposition, flagsAndAttributes, nullptr));
}

bool Win32Platform::ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
  DWORD done = 0;
  BOOL ok = ::ReadFile(H(file), buffer, toRead, &done, nullptr);
  if (read) *read = done;
  return ok != FALSE;
}

bool Win32Platform::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written) {
  DWORD done = 0;
  BOOL ok = ::WriteFile(H(file), buffer, toWrite, &done, nullptr);
  if (written) *written = done;
  return ok != FALSE;
}

std::uint32_t Win32Platform::GetFileSize(Handle file, std::uint32_t* high) {
  DWORD hi = 0;
  DWORD lo = ::GetFileSize(H(file), high ? &hi : nullptr);
  if (high) *high = hi;
  return lo;
}

std::uint32_t Win32Platform::SetFilePointer(Handle file, std::int32_t distance, std::int32_t* distanceHigh,
                                            std::uint32_t method) {
  LONG hi = distanceHigh ? *distanceHigh : 0;
  DWORD lo = ::SetFilePointer(H(file), distance, distanceHigh ? &hi : nullptr, method);
  if (distanceHigh) *distanceHigh = hi;
  return lo;
}

bool Win32Platform::SetEndOfFile(Handle file) { return ::SetEndOfFile(H(file)) != FALSE; }
bool Win32Platform::FlushFileBuffers(Handle file) { return ::FlushFileBuffers(H(file)) != FALSE; }
bool Win32Platform::CloseHandle(Handle object) { return ::CloseHandle(H(object)) != FALSE; }

Handle Win32Platform::OpenProcess(std::uint32_t access, bool inherit, std::uint32_t pid) {
  return V(::OpenProcess(access, inherit ? TRUE : FALSE, pid));
}

bool Win32Platform::TerminateProcess(Handle process, std::uint32_t exitCode) {
  return ::TerminateProcess(H(process), exitCode) != FALSE;
}

Handle Win32Platform::GetCurrentProcess() { return V(::GetCurrentProcess()); }
Handle Win32Platform::GetModuleHandleA(const char* name) { return V(::GetModuleHandleA(name)); }

FarProc Win32Platform::GetProcAddress(Handle module, const char* name) {
  return reinterpret_cast<FarProc>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

Handle Win32Platform::CreateThread(ThreadProc body, void* param, std::uint32_t* threadId) {
  DWORD id = 0;
  HANDLE h = ::CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(body), param, 0, &id);
  if (threadId) *threadId = id;
  return V(h);
}

std::uint32_t Win32Platform::WaitForSingleObject(Handle object, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(H(object), milliseconds);
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }
std::uint32_t Win32Platform::GetTickCount() { return ::GetTickCount(); }
std::uint32_t Win32Platform::TimeBeginPeriod(std::uint32_t milliseconds) { return ::timeBeginPeriod(milliseconds); }
std::uint32_t Win32Platform::TimeEndPeriod(std::uint32_t milliseconds) { return ::timeEndPeriod(milliseconds); }

std::int32_t Win32Platform::RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options,
                                            std::uint32_t access, Handle* key, std::uint32_t* disposition) {
  HKEY opened = nullptr;
  DWORD how = 0;
  LONG rc = ::RegCreateKeyExA(reinterpret_cast<HKEY>(root), subKey, 0, nullptr, options, access, nullptr,
                              &opened, &how);
  if (key) *key = reinterpret_cast<Handle>(opened);
  if (disposition) *disposition = how;
  return rc;
}

std::int32_t Win32Platform::RegSetValueExA(Handle key, const char* valueName, std::uint32_t type,
                                           const void* data, std::uint32_t size) {
  return ::RegSetValueExA(reinterpret_cast<HKEY>(key), valueName, 0, type, static_cast<const BYTE*>(data), size);
}

std::int32_t Win32Platform::RegCloseKey(Handle key) { return ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

std::uint32_t Win32Platform::CharUpperBuffA(char* text, std::uint32_t length) {
  return ::CharUpperBuffA(text, length);
}

}  // namespace vx
