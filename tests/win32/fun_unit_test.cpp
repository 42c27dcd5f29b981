// FunUnit's file and system routines over the real system: the presence test
// that decides which marker files the walker deletes, the system folder the
// sweep deletes worm programs from, and the system's upper-casing of GBK names.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/win32/win32_test_support.h"
#include "util/fun_unit.h"

using vxtest::TempDir;

namespace {

// The stamp computed the way the system itself does it, for comparison.
std::int32_t ExpectedStamp(vx::FileTime utc) {
  FILETIME in = {static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)}, local;
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&in, &local) || !::FileTimeToDosDateTime(&local, &date, &time)) return -1;
  return static_cast<std::int32_t>((DWORD(date) << 16) | time);
}

TEST(FunUnitFiles, PresenceOfFilesFoldersAndMissingPaths) {
  TempDir dir;
  std::string marker = dir / "Quellin_.ini";
  ASSERT_TRUE(vxtest::WriteWholeFile(marker, "[x]"));
  vx::FileTime when = vxtest::UtcFileTime(2009, 3, 14, 15, 9, 26);
  ASSERT_TRUE(vxtest::SetLastWriteTime(marker, when));
  EXPECT_TRUE(vx::QueryFilePresent(marker));
  EXPECT_EQ(vx::QueryFileStamp(marker), ExpectedStamp(when));
  EXPECT_NE(ExpectedStamp(when), -1);

  // Hidden and read-only marker files are present all the same.
  ASSERT_TRUE(::SetFileAttributesA(marker.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(vx::QueryFilePresent(marker));

  EXPECT_FALSE(vx::QueryFilePresent(dir / "Quellin__.ini"));
  EXPECT_EQ(vx::QueryFileStamp(dir / "Quellin__.ini"), -1);
  EXPECT_FALSE(vx::QueryFilePresent(dir / "nofolder\\Quellin_.ini"));

  // A folder of the marker's name is not a marker file.
  ASSERT_TRUE(::CreateDirectoryA((dir / "Quellin__.ini").c_str(), nullptr));
  EXPECT_FALSE(vx::QueryFilePresent(dir / "Quellin__.ini"));
  EXPECT_FALSE(vx::QueryFilePresent(dir.path()));
  EXPECT_FALSE(vx::QueryFilePresent("C:\\windows"));
}

TEST(FunUnitFiles, FilesDatedOutsideTheDosRangeAreNotPresent) {
  TempDir dir;
  std::string old = dir / "old.ini", future = dir / "future.ini", edge = dir / "edge.ini";
  ASSERT_TRUE(vxtest::WriteWholeFile(old, "o"));
  ASSERT_TRUE(vxtest::WriteWholeFile(future, "f"));
  ASSERT_TRUE(vxtest::WriteWholeFile(edge, "e"));
  ASSERT_TRUE(vxtest::SetLastWriteTime(old, vxtest::UtcFileTime(1975, 6, 1, 12, 0, 0)));
  ASSERT_TRUE(vxtest::SetLastWriteTime(future, vxtest::UtcFileTime(2110, 6, 1, 12, 0, 0)));
  ASSERT_TRUE(vxtest::SetLastWriteTime(edge, vxtest::UtcFileTime(1980, 6, 1, 0, 0, 0)));
  EXPECT_EQ(vx::QueryFileStamp(old), -1);
  EXPECT_FALSE(vx::QueryFilePresent(old));
  EXPECT_EQ(vx::QueryFileStamp(future), -1);
  EXPECT_FALSE(vx::QueryFilePresent(future));
  EXPECT_TRUE(vx::QueryFilePresent(edge));
}

TEST(FunUnitFiles, WildcardLooksAtTheFirstMatchOnly) {
  TempDir dir;
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "one.ini", "1"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "folder.dir").c_str(), nullptr));
  EXPECT_TRUE(vx::QueryFilePresent(dir / "*.ini"));
  EXPECT_TRUE(vx::QueryFilePresent(dir / "on?.ini"));
  EXPECT_FALSE(vx::QueryFilePresent(dir / "*.dir"));
  EXPECT_FALSE(vx::QueryFilePresent(dir / "*.exe"));

  // With a folder and a file matching, the answer follows whichever the
  // system lists first ("." comes first in a subfolder, so "*" gives false).
  EXPECT_FALSE(vx::QueryFilePresent(dir / "*"));
  ASSERT_TRUE(vxtest::WriteWholeFile(dir / "x1", "x"));
  ASSERT_TRUE(::CreateDirectoryA((dir / "x2").c_str(), nullptr));
  WIN32_FIND_DATAA first;
  HANDLE h = ::FindFirstFileA((dir / "x?").c_str(), &first);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  ::FindClose(h);
  EXPECT_EQ(!(first.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY), vx::QueryFilePresent(dir / "x?"));
}

TEST(FunUnitFiles, SystemFolderPathEndsWithOneBackslash) {
  std::string path = vx::GetSystemFolderPath();
  ASSERT_GE(path.size(), 4u);
  EXPECT_EQ(path.back(), '\\');
  EXPECT_NE(path[path.size() - 2], '\\');
  char buffer[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(buffer, sizeof buffer);
  EXPECT_EQ(path, std::string(buffer, n) + "\\");
  DWORD attributes = ::GetFileAttributesA((path + "drivers").c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(FunUnitText, SystemCaseMappingUnderGbk) {
  const std::string name = "setup.exe 青岚.htm";
  EXPECT_EQ(vx::UpperCaseText(name), "SETUP.EXE 青岚.HTM");
  EXPECT_EQ(name, "setup.exe 青岚.htm");
  EXPECT_EQ(vx::UpperCaseText(""), "");
}

}  // namespace
