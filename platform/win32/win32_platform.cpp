// Thin forwarding to kernel32, user32, advapi32 and winmm. Nothing here decides
// anything: results and last-error values come back exactly as the system gives
// them, so that the engine behaves on Windows as it does over the in-memory
// machine that imitates these calls. Text crosses as UTF-8 and goes to the
// wide functions, so that every name is reached whatever the system's ANSI
// code page, and no name is ever read through one.
#include "platform/win32/win32_platform.h"
#include "platform/win32/winmm_binding.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "util/utf_convert.h"

namespace vx {
namespace {

static_assert(sizeof(Handle) == sizeof(HANDLE), "a Handle holds a HANDLE");
static_assert(sizeof(ProcessEntry32) == sizeof(PROCESSENTRY32W), "same layout as PROCESSENTRY32W");
static_assert(offsetof(ProcessEntry32, th32DefaultHeapID) == offsetof(PROCESSENTRY32W, th32DefaultHeapID) &&
                  offsetof(ProcessEntry32, szExeFile) == offsetof(PROCESSENTRY32W, szExeFile),
              "same field offsets as PROCESSENTRY32W");
static_assert(sizeof(char16_t) == sizeof(WCHAR), "UTF-16 units");

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

// The system's UTF-16 is the engine's converter's, unit for unit.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wide characters");

// UTF-8 to UTF-16. Malformed UTF-8 names no file: the call that would take it
// fails with ERROR_INVALID_NAME instead of reaching some other name.
bool ToWide(const char* text, std::size_t size, std::wstring* wide) {
  std::u16string units;
  if (!Utf8ToUtf16(std::string(text, size), &units)) {
    ::SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  wide->assign(units.begin(), units.end());
  return true;
}

// UTF-16 to UTF-8; false for an unpaired surrogate, whose UTF-8 stand-in
// (U+FFFD) would be another name.
bool ToUtf8(const wchar_t* wide, std::size_t length, std::string* text) {
  return Utf16ToUtf8(reinterpret_cast<const char16_t*>(wide), length, text);
}

// A path argument in its wide form; nullptr stays nullptr, as the call allows.
struct WidePath {
  explicit WidePath(const char* text)
      : given(text != nullptr), ok(!given || ToWide(text, std::strlen(text), &wide)) {}
  const wchar_t* Get() const { return given ? wide.c_str() : nullptr; }
  bool given;
  std::wstring wide;
  bool ok;
};

template <std::size_t N>
bool CopyName(const wchar_t* wide, char (&to)[N]) {
  std::string text;
  if (!ToUtf8(wide, std::wcslen(wide), &text) || text.size() >= N) return false;
  std::memcpy(to, text.c_str(), text.size() + 1);
  return true;
}

// False when a name of the entry cannot make the trip to UTF-8 and back.
bool CopyFindData(const WIN32_FIND_DATAW& from, FindData* to) {
  FindData copy;
  copy.attributes = from.dwFileAttributes;
  copy.creationTime = FromFiletime(from.ftCreationTime);
  copy.lastAccessTime = FromFiletime(from.ftLastAccessTime);
  copy.lastWriteTime = FromFiletime(from.ftLastWriteTime);
  copy.sizeHigh = from.nFileSizeHigh;
  copy.sizeLow = from.nFileSizeLow;
  copy.reparseTag = (from.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? from.dwReserved0 : 0;
  if (!CopyName(from.cFileName, copy.name) || !CopyName(from.cAlternateFileName, copy.alternateName)) return false;
  *to = copy;
  return true;
}

// Steps over the entries whose names have no UTF-8 form: the engine could
// only reach them under another name, which may be another file's.
bool NextConvertible(HANDLE search, WIN32_FIND_DATAW* found, FindData* data) {
  while (!CopyFindData(*found, data)) {
    if (!::FindNextFileW(search, found)) return false;
  }
  return true;
}

}  // namespace

Handle Win32Platform::FindFirstFileA(const char* pattern, FindData* data) {
  WidePath wide(pattern);
  if (!wide.ok) return kInvalidHandle;
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileW(wide.Get(), &found);
  if (h == INVALID_HANDLE_VALUE || NextConvertible(h, &found, data)) return V(h);
  // Only unconvertible names matched: as if nothing had.
  ::FindClose(h);
  ::SetLastError(ERROR_FILE_NOT_FOUND);
  return kInvalidHandle;
}

bool Win32Platform::FindNextFileA(Handle search, FindData* data) {
  WIN32_FIND_DATAW found;
  return ::FindNextFileW(H(search), &found) && NextConvertible(H(search), &found, data);
}

bool Win32Platform::FindClose(Handle search) { return ::FindClose(H(search)) != FALSE; }
std::uint32_t Win32Platform::GetLastError() { return ::GetLastError(); }
void Win32Platform::SetLastError(std::uint32_t code) { ::SetLastError(code); }
std::uint32_t Win32Platform::GetFileAttributesA(const char* path) {
  WidePath wide(path);
  return wide.ok ? ::GetFileAttributesW(wide.Get()) : INVALID_FILE_ATTRIBUTES;
}

bool Win32Platform::SetFileAttributesA(const char* path, std::uint32_t attributes) {
  WidePath wide(path);
  return wide.ok && ::SetFileAttributesW(wide.Get(), attributes) != FALSE;
}

bool Win32Platform::DeleteFileA(const char* path) {
  WidePath wide(path);
  return wide.ok && ::DeleteFileW(wide.Get()) != FALSE;
}

std::uint32_t Win32Platform::GetDriveTypeA(const char* root) {
  WidePath wide(root);
  return wide.ok ? ::GetDriveTypeW(wide.Get()) : DRIVE_NO_ROOT_DIR;
}

bool Win32Platform::GetVolumeNameForVolumeMountPointW(const char* mountPoint, char* volumeName, std::uint32_t size) {
  WidePath wide(mountPoint);
  WCHAR name[50] = {};  // "\\?\Volume{GUID}\" and its zero: 50 units, as the call documents
  if (!wide.ok || !::GetVolumeNameForVolumeMountPointW(wide.Get(), name, 50)) return false;
  std::string text;
  if (!ToUtf8(name, std::wcslen(name), &text) || text.size() >= size) return false;
  std::memcpy(volumeName, text.c_str(), text.size() + 1);
  return true;
}

std::uint32_t Win32Platform::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
  wchar_t wide[MAX_PATH + 1] = {};
  UINT units = ::GetSystemDirectoryW(wide, MAX_PATH + 1);
  std::string text;
  if (units == 0 || units > MAX_PATH || !ToUtf8(wide, units, &text)) return 0;
  auto length = static_cast<std::uint32_t>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;  // the size needed, zero included
  std::memcpy(buffer, text.c_str(), length + 1);
  return length;
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
  WidePath wide(path);
  if (!wide.ok) return kInvalidHandle;
  return V(::CreateFileW(wide.Get(), access, share, nullptr, disposition, flagsAndAttributes, nullptr));
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
Handle Win32Platform::GetModuleHandleA(const char* name) {
  WidePath wide(name);
  return wide.ok ? V(::GetModuleHandleW(wide.Get())) : kNullHandle;
}

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
// winmm is bound when the platform is made, on the thread that starts the
// program, never from a worker.
Win32Platform::Win32Platform() { BindWinmm(); }
std::uint32_t Win32Platform::TimeBeginPeriod(std::uint32_t milliseconds) { return WinmmTimeBeginPeriod(milliseconds); }
std::uint32_t Win32Platform::TimeEndPeriod(std::uint32_t milliseconds) { return WinmmTimeEndPeriod(milliseconds); }

std::int32_t Win32Platform::RegCreateKeyExA(Handle root, const char* subKey, std::uint32_t options,
                                            std::uint32_t access, Handle* key, std::uint32_t* disposition) {
  WidePath wide(subKey);
  if (!wide.ok) return ERROR_INVALID_NAME;
  HKEY opened = nullptr;
  DWORD how = 0;
  LONG rc = ::RegCreateKeyExW(reinterpret_cast<HKEY>(root), wide.Get(), 0, nullptr, options, access, nullptr,
                              &opened, &how);
  if (key) *key = reinterpret_cast<Handle>(opened);
  if (disposition) *disposition = how;
  return rc;
}

// A REG_SZ value's data is text too, stored as UTF-16 with its zero; the
// other types pass as the bytes they are.
std::int32_t Win32Platform::RegSetValueExA(Handle key, const char* valueName, std::uint32_t type,
                                           const void* data, std::uint32_t size) {
  WidePath name(valueName);
  if (!name.ok) return ERROR_INVALID_NAME;
  auto bytes = static_cast<const BYTE*>(data);
  std::wstring text;
  if (type == REG_SZ && data != nullptr) {
    std::string utf8(static_cast<const char*>(data), size);
    utf8.resize(std::strlen(utf8.c_str()));  // up to the zero, as the ANSI call reads it
    if (!ToWide(utf8.data(), utf8.size(), &text)) return ERROR_INVALID_PARAMETER;
    bytes = reinterpret_cast<const BYTE*>(text.c_str());
    size = static_cast<std::uint32_t>((text.size() + 1) * sizeof(wchar_t));
  }
  return ::RegSetValueExW(reinterpret_cast<HKEY>(key), name.Get(), 0, type, bytes, size);
}

std::int32_t Win32Platform::RegCloseKey(Handle key) { return ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

std::uint32_t Win32Platform::CharUpperBuffA(const char* text, std::uint32_t length, char* upper,
                                            std::uint32_t size) {
  std::wstring wide;
  std::string result;
  if (text == nullptr || !ToWide(text, length, &wide)) {
    ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (!wide.empty()) ::CharUpperBuffW(&wide[0], static_cast<DWORD>(wide.size()));
  ToUtf8(wide.data(), wide.size(), &result);  // valid UTF-16 in, valid UTF-16 out
  auto bytes = static_cast<std::uint32_t>(result.size());
  if (upper == nullptr || size < bytes) return bytes;  // the size needed
  std::memcpy(upper, result.data(), bytes);
  return bytes;
}

}  // namespace vx
