// The adapter's folder listing, file content and file fact calls against the
// real file system: the walker, the file reader and both repairers rely on
// exactly these results and last-error values.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/win32/win32_test_support.h"

using vxtest::TempDir;

namespace {

constexpr std::uint32_t kMarker = 0xdeadbeef;

vx::Platform& Os() { return vx::Sys(); }

std::map<std::string, vx::FindData> ListAll(const std::string& pattern, std::uint32_t* endError) {
  std::map<std::string, vx::FindData> seen;
  vx::FindData data;
  Os().SetLastError(kMarker);
  vx::Handle search = Os().FindFirstFileA(pattern.c_str(), &data);
  if (search == vx::kInvalidHandle) {
    *endError = Os().GetLastError();
    return seen;
  }
  do seen[data.name] = data;
  while (Os().FindNextFileA(search, &data));
  *endError = Os().GetLastError();
  EXPECT_TRUE(Os().FindClose(search));
  return seen;
}

TEST(FolderListing, ListsDotEntriesFilesAndFoldersWithAttributesAndSizes) {
  TempDir dir;
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "a.exe", std::string(1234, 'x')));
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "empty.htm", ""));
  ASSERT_TRUE(::CreateDirectoryA((dir / "sub").c_str(), nullptr));
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "hid.ini", "h"));
  ASSERT_TRUE(::SetFileAttributesA((dir / "hid.ini").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));

  std::uint32_t endError = 0;
  auto seen = ListAll(dir / "*", &endError);
  EXPECT_EQ(vx::kErrorNoMoreFiles, endError);
  ASSERT_EQ(6u, seen.size());
  EXPECT_TRUE(seen["."].attributes & vx::kAttrDirectory);
  EXPECT_TRUE(seen[".."].attributes & vx::kAttrDirectory);
  EXPECT_TRUE(seen["sub"].attributes & vx::kAttrDirectory);
  EXPECT_FALSE(seen["a.exe"].attributes & vx::kAttrDirectory);
  EXPECT_EQ(1234u, seen["a.exe"].sizeLow);
  EXPECT_EQ(0u, seen["a.exe"].sizeHigh);
  EXPECT_EQ(0u, seen["empty.htm"].sizeLow);
  EXPECT_EQ(std::uint32_t(vx::kAttrHidden | vx::kAttrSystem),
            seen["hid.ini"].attributes & (vx::kAttrHidden | vx::kAttrSystem | vx::kAttrDirectory));
  EXPECT_NE(0u, seen["a.exe"].lastWriteTime);
}

TEST(FolderListing, DotEntriesComeFirstInASubfolder) {
  TempDir dir;
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "z.txt", "z"));
  vx::FindData data;
  vx::Handle search = Os().FindFirstFileA((dir / "*").c_str(), &data);
  ASSERT_NE(vx::kInvalidHandle, search);
  EXPECT_STREQ(".", data.name);
  ASSERT_TRUE(Os().FindNextFileA(search, &data));
  EXPECT_STREQ("..", data.name);
  ASSERT_TRUE(Os().FindNextFileA(search, &data));
  EXPECT_STREQ("z.txt", data.name);
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().FindNextFileA(search, &data));
  EXPECT_EQ(vx::kErrorNoMoreFiles, Os().GetLastError());
  EXPECT_TRUE(Os().FindClose(search));
}

TEST(FolderListing, FailuresGiveTheirErrors) {
  TempDir dir;
  vx::FindData data;
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().FindFirstFileA((dir / "missing.txt").c_str(), &data));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().FindFirstFileA((dir / "nofolder\\*").c_str(), &data));
  EXPECT_EQ(vx::kErrorPathNotFound, Os().GetLastError());

  // An empty folder still lists "." and "..", never "no file".
  ASSERT_TRUE(::CreateDirectoryA((dir / "empty").c_str(), nullptr));
  std::uint32_t endError = 0;
  EXPECT_EQ(2u, ListAll(dir / "empty\\*", &endError).size());
  EXPECT_EQ(vx::kErrorNoMoreFiles, endError);

  // A pattern that matches nothing in an existing folder.
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().FindFirstFileA((dir / "empty\\*.exe").c_str(), &data));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());
}

TEST(FolderListing, WildcardAndGbkNamesRoundTrip) {
  TempDir dir;
  // GBK bytes on the Windows side; Wine stores them as UTF-8 through the
  // zh_CN.UTF-8 locale and must give back the same bytes.
  const std::string name = "病毒样本.exe";
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / name, "MZ"));
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "page.html", "<html>"));
  std::uint32_t endError = 0;
  auto exes = ListAll(dir / "*.exe", &endError);
  ASSERT_EQ(1u, exes.size());
  EXPECT_EQ(name, exes.begin()->first);
  EXPECT_EQ(2u, exes.begin()->second.sizeLow);
  EXPECT_EQ("MZ", vxtest::ReadWholeFile(dir / name));
}

TEST(FolderListing, ReportsTheLastWriteTimeThatWasSet) {
  TempDir dir;
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "t.txt", "t"));
  vx::FileTime when = vxtest::UtcFileTime(2004, 5, 6, 7, 8, 10);
  ASSERT_TRUE(vxtest::SetLastWriteTime(dir / "t.txt", when));
  vx::FindData data;
  vx::Handle search = Os().FindFirstFileA((dir / "t.txt").c_str(), &data);
  ASSERT_NE(vx::kInvalidHandle, search);
  EXPECT_TRUE(Os().FindClose(search));
  EXPECT_EQ(when, data.lastWriteTime);
  EXPECT_STREQ("t.txt", data.name);
}

TEST(FileContent, WriteSeekTruncateAndReadBack) {
  TempDir dir;
  std::string path = dir / "f.bin";
  Os().SetLastError(kMarker);
  vx::Handle f = Os().CreateFileA(path.c_str(), vx::kGenericRead | vx::kGenericWrite, 0, vx::kCreateAlways,
                                  vx::kAttrNormal);
  ASSERT_NE(vx::kInvalidHandle, f);
  const char bytes[] = "0123456789\0tail";
  std::uint32_t written = 0;
  ASSERT_TRUE(Os().WriteFile(f, bytes, sizeof bytes - 1, &written));
  EXPECT_EQ(sizeof bytes - 1, written);
  std::uint32_t high = 0xdeadbeef;
  EXPECT_EQ(sizeof bytes - 1, Os().GetFileSize(f, &high));
  EXPECT_EQ(0u, high);

  EXPECT_EQ(4u, Os().SetFilePointer(f, 4, nullptr, vx::kFileBegin));
  ASSERT_TRUE(Os().SetEndOfFile(f));
  EXPECT_EQ(4u, Os().GetFileSize(f, nullptr));
  EXPECT_EQ(2u, Os().SetFilePointer(f, -2, nullptr, vx::kFileCurrent));
  EXPECT_EQ(1u, Os().SetFilePointer(f, -3, nullptr, vx::kFileEnd));
  EXPECT_EQ(0u, Os().SetFilePointer(f, 0, nullptr, vx::kFileBegin));

  char back[16] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(Os().ReadFile(f, back, sizeof back, &got));
  EXPECT_EQ(4u, got);
  EXPECT_EQ("0123", std::string(back, got));
  // At the end a read succeeds with no bytes.
  ASSERT_TRUE(Os().ReadFile(f, back, sizeof back, &got));
  EXPECT_EQ(0u, got);
  EXPECT_TRUE(Os().FlushFileBuffers(f));

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidSetFilePointer, Os().SetFilePointer(f, -10, nullptr, vx::kFileBegin));
  EXPECT_EQ(131u, Os().GetLastError());  // ERROR_NEGATIVE_SEEK

  EXPECT_TRUE(Os().CloseHandle(f));
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().CloseHandle(f));
  EXPECT_EQ(vx::kErrorInvalidHandle, Os().GetLastError());
  EXPECT_EQ("0123", vxtest::ReadWholeFile(path));
}

TEST(FileContent, ZeroBytesAndDataPastFourKilobytesSurvive) {
  TempDir dir;
  std::string path = dir / "big.bin";
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i * 7));
  vx::Handle f = Os().CreateFileA(path.c_str(), vx::kGenericWrite, 0, vx::kCreateAlways, vx::kAttrNormal);
  ASSERT_NE(vx::kInvalidHandle, f);
  std::uint32_t written = 0;
  ASSERT_TRUE(Os().WriteFile(f, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written));
  EXPECT_EQ(bytes.size(), written);
  EXPECT_TRUE(Os().CloseHandle(f));

  f = Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, vx::kAttrNormal);
  ASSERT_NE(vx::kInvalidHandle, f);
  std::string back(bytes.size() + 10, '\0');
  std::uint32_t got = 0;
  ASSERT_TRUE(Os().ReadFile(f, &back[0], static_cast<std::uint32_t>(back.size()), &got));
  back.resize(got);
  EXPECT_TRUE(back == bytes);
  EXPECT_TRUE(Os().CloseHandle(f));
}

TEST(FileContent, OpenFailuresGiveTheirErrors) {
  TempDir dir;
  std::string path = dir / "f.txt";
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle,
            Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, 0));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle,
            Os().CreateFileA((dir / "no\\f.txt").c_str(), vx::kGenericWrite, 0, vx::kCreateAlways, 0));
  EXPECT_EQ(vx::kErrorPathNotFound, Os().GetLastError());

  ASSERT_TRUE(vxtest::WriteWholeFile(path, "abc"));
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().CreateFileA(path.c_str(), vx::kGenericWrite, 0, vx::kCreateNew, 0));
  EXPECT_EQ(80u, Os().GetLastError());  // ERROR_FILE_EXISTS

  // Opening a folder as a file is refused.
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().CreateFileA(dir.path().c_str(), vx::kGenericRead, vx::kFileShareRead,
                                                 vx::kOpenExisting, 0));
  EXPECT_EQ(vx::kErrorAccessDenied, Os().GetLastError());

  // A handle opened for reading only refuses writes.
  vx::Handle f = Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, 0);
  ASSERT_NE(vx::kInvalidHandle, f);
  std::uint32_t written = 0xdeadbeef;
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().WriteFile(f, "x", 1, &written));
  EXPECT_EQ(vx::kErrorAccessDenied, Os().GetLastError());
  EXPECT_EQ(0u, written);
  EXPECT_TRUE(Os().CloseHandle(f));
  EXPECT_EQ("abc", vxtest::ReadWholeFile(path));
}

TEST(FileContent, ExclusiveOpenLocksOutOthersUntilClosed) {
  TempDir dir;
  std::string path = dir / "lock.htm";
  ASSERT_TRUE(vxtest::WriteWholeFile(path, "page"));
  vx::Handle holder = Os().CreateFileA(path.c_str(), vx::kGenericRead | vx::kGenericWrite, 0, vx::kOpenExisting, 0);
  ASSERT_NE(vx::kInvalidHandle, holder);

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle,
            Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead | vx::kFileShareWrite,
                             vx::kOpenExisting, 0));
  EXPECT_EQ(vx::kErrorSharingViolation, Os().GetLastError());

  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle, Os().CreateFileA(path.c_str(), vx::kGenericRead | vx::kGenericWrite, 0,
                                                 vx::kCreateAlways, vx::kAttrNormal));
  EXPECT_EQ(vx::kErrorSharingViolation, Os().GetLastError());

  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().DeleteFileA(path.c_str()));
  EXPECT_EQ(vx::kErrorSharingViolation, Os().GetLastError());

  EXPECT_TRUE(Os().CloseHandle(holder));
  vx::Handle again = Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, 0);
  EXPECT_NE(vx::kInvalidHandle, again);
  EXPECT_TRUE(Os().CloseHandle(again));

  // A reader that shares reading lets another reader in, but not a writer.
  vx::Handle r1 = Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, 0);
  ASSERT_NE(vx::kInvalidHandle, r1);
  vx::Handle r2 = Os().CreateFileA(path.c_str(), vx::kGenericRead, vx::kFileShareRead, vx::kOpenExisting, 0);
  EXPECT_NE(vx::kInvalidHandle, r2);
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidHandle,
            Os().CreateFileA(path.c_str(), vx::kGenericWrite, vx::kFileShareRead, vx::kOpenExisting, 0));
  EXPECT_EQ(vx::kErrorSharingViolation, Os().GetLastError());
  EXPECT_TRUE(Os().CloseHandle(r1));
  EXPECT_TRUE(Os().CloseHandle(r2));
}

TEST(FileFacts, AttributesAndDeletion) {
  TempDir dir;
  std::string path = dir / "autorun.inf";
  ASSERT_TRUE(vxtest::WriteWholeFile(path, "[autorun]"));

  // Hidden and system first: Wine keeps them in an extended attribute, which an
  // unprivileged user can no longer write once the file is read-only.
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrHidden | vx::kAttrSystem));
  EXPECT_EQ(std::uint32_t(vx::kAttrHidden | vx::kAttrSystem), Os().GetFileAttributesA(path.c_str()) & 0x17u);
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrReadOnly | vx::kAttrHidden | vx::kAttrSystem));
  EXPECT_EQ(std::uint32_t(vx::kAttrReadOnly | vx::kAttrHidden | vx::kAttrSystem),
            Os().GetFileAttributesA(path.c_str()) & 0x17u);

  // A read-only file cannot be deleted until its attributes are cleared.
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().DeleteFileA(path.c_str()));
  EXPECT_EQ(vx::kErrorAccessDenied, Os().GetLastError());
  EXPECT_NE(vx::kInvalidFileAttributes, Os().GetFileAttributesA(path.c_str()));

  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrNormal));
  EXPECT_EQ(0u, Os().GetFileAttributesA(path.c_str()) & 0x17u);
  Os().SetLastError(kMarker);
  EXPECT_TRUE(Os().DeleteFileA(path.c_str()));
  Os().SetLastError(kMarker);
  EXPECT_EQ(vx::kInvalidFileAttributes, Os().GetFileAttributesA(path.c_str()));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());

  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().DeleteFileA(path.c_str()));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().SetFileAttributesA(path.c_str(), vx::kAttrNormal));
  EXPECT_EQ(vx::kErrorFileNotFound, Os().GetLastError());

  // A folder is not deleted as a file.
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().DeleteFileA(dir.path().c_str()));
  EXPECT_EQ(vx::kErrorAccessDenied, Os().GetLastError());
  EXPECT_TRUE(Os().GetFileAttributesA(dir.path().c_str()) & vx::kAttrDirectory);
}

TEST(FileFacts, DriveTypes) {
  EXPECT_EQ(vx::kDriveFixed, Os().GetDriveTypeA("C:\\"));
  // The sandbox has no Z: (it would reach the whole Linux file system).
  EXPECT_EQ(vx::kDriveNoRootDir, Os().GetDriveTypeA("Z:\\"));
  EXPECT_EQ(vx::kDriveNoRootDir, Os().GetDriveTypeA("Q:\\"));

  // The runner maps extra drives and names the types it expects as
  // "<letter><type>..." (e.g. "N4R2"): types come from the prefix's registry.
  const char* expected = std::getenv("VX_EXPECT_DRIVES");
  if (!expected) GTEST_SKIP() << "VX_EXPECT_DRIVES not set by the runner";
  for (const char* p = expected; p[0] && p[1]; p += 2) {
    char root[] = {p[0], ':', '\\', 0};
    EXPECT_EQ(std::uint32_t(p[1] - '0'), Os().GetDriveTypeA(root)) << root;
  }
}

TEST(FileFacts, SystemFolderAndTimeConversions) {
  char buffer[260];
  std::uint32_t n = Os().GetSystemDirectoryA(buffer, sizeof buffer);
  ASSERT_GT(n, 3u);
  ASSERT_LT(n, sizeof buffer);
  EXPECT_EQ(n, std::strlen(buffer));
  EXPECT_EQ(0, _stricmp(buffer, "C:\\windows\\system32"));
  char tiny[4];
  EXPECT_EQ(n + 1, Os().GetSystemDirectoryA(tiny, sizeof tiny));

  std::uint16_t date = 0, time = 0;
  ASSERT_TRUE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(2000, 1, 2, 12, 34, 56), &date, &time));
  EXPECT_EQ((20 << 9) | (1 << 5) | 2, date);
  EXPECT_EQ((12 << 11) | (34 << 5) | 28, time);
  ASSERT_TRUE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(1980, 1, 1, 0, 0, 0), &date, &time));
  EXPECT_EQ((0 << 9) | (1 << 5) | 1, date);
  ASSERT_TRUE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(2107, 12, 31, 23, 59, 58), &date, &time));
  EXPECT_EQ((127 << 9) | (12 << 5) | 31, date);
  EXPECT_EQ((23 << 11) | (59 << 5) | 29, time);
  // Outside 1980..2107 the conversion fails (Wine alone would wrap the year).
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(1979, 12, 31, 23, 59, 58), &date, &time));
  EXPECT_EQ(vx::kErrorInvalidParameter, Os().GetLastError());
  Os().SetLastError(kMarker);
  EXPECT_FALSE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(2108, 1, 1, 0, 0, 0), &date, &time));
  EXPECT_EQ(vx::kErrorInvalidParameter, Os().GetLastError());
  EXPECT_FALSE(Os().FileTimeToDosDateTime(vxtest::UtcFileTime(2110, 6, 1, 12, 0, 0), &date, &time));

  vx::FileTime utc = vxtest::UtcFileTime(2010, 6, 1, 0, 0, 0), local = 0;
  ASSERT_TRUE(Os().FileTimeToLocalFileTime(utc, &local));
  FILETIME in = {static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)}, out;
  ASSERT_TRUE(::FileTimeToLocalFileTime(&in, &out));
  EXPECT_EQ((vx::FileTime(out.dwHighDateTime) << 32) | out.dwLowDateTime, local);
}

TEST(FileFacts, CharUpperBuffUnderCodePage936) {
  EXPECT_EQ(936u, ::GetACP());
  std::string text = "autorun.inf 病毒 setup.exe";
  std::string expected = "AUTORUN.INF 病毒 SETUP.EXE";
  EXPECT_EQ(text.size(), Os().CharUpperBuffA(&text[0], static_cast<std::uint32_t>(text.size())));
  EXPECT_EQ(expected, text);
}

}  // namespace

namespace {

// Walks a folder tree the way a full scan does; stops past `limit` entries.
void Walk(const std::string& folder, const char* sentinel, std::size_t limit, std::size_t* entries,
          std::string* found) {
  vx::FindData data;
  vx::Handle search = Os().FindFirstFileA((folder + "\\*").c_str(), &data);
  if (search == vx::kInvalidHandle) return;
  do {
    if (!std::strcmp(data.name, ".") || !std::strcmp(data.name, "..")) continue;
    if (++*entries > limit) break;
    std::string path = folder + "\\" + data.name;
    if (sentinel && !_stricmp(data.name, sentinel)) *found = path;
    if (data.attributes & vx::kAttrDirectory) Walk(path, sentinel, limit, entries, found);
  } while (*entries <= limit && Os().FindNextFileA(search, &data));
  Os().FindClose(search);
}

// A full scan of the sandbox must stay inside it: no drive Z: to "/", no
// user folder leading into the Linux home. The runner leaves a sentinel file
// next to the prefix, outside every drive; reaching it means a way out.
TEST(Sandbox, ScanOfDriveCStaysInsideThePrefix) {
  DWORD drives = ::GetLogicalDrives();
  EXPECT_TRUE(drives & (1u << ('C' - 'A')));
  EXPECT_FALSE(drives & (1u << ('Z' - 'A')));
  const char* sentinel = std::getenv("VX_SENTINEL");
  std::size_t entries = 0;
  std::string found;
  Walk("C:", sentinel, 60000, &entries, &found);
  EXPECT_GT(entries, 500u);
  EXPECT_LE(entries, 60000u) << "the walk of C: does not end: it reaches the Linux file system";
  EXPECT_EQ("", found);
  if (!sentinel) GTEST_SKIP() << "VX_SENTINEL not set by the runner";
}

}  // namespace
