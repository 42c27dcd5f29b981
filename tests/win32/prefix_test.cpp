// What only a Wine prefix can show: the drive types its drive table gives,
// and that a full scan of drive C: stays inside the sandbox. The Windows
// facts both platforms share are in the platform contract (tests/contract).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

vx::Platform& Os() { return vx::Sys(); }

TEST(Prefix, DriveTypesComeFromItsDriveTable) {
  // The runner maps extra drives and names the types it expects as
  // "<letter><type>..." (e.g. "N4R2"): types come from the prefix's registry,
  // and Z:, which would reach the whole Linux file system, is not there ("Z1").
  const char* expected = std::getenv("VX_EXPECT_DRIVES");
  if (!expected) GTEST_SKIP() << "VX_EXPECT_DRIVES not set by the runner";
  for (const char* p = expected; p[0] && p[1]; p += 2) {
    char root[] = {p[0], ':', '\\', 0};
    EXPECT_EQ(Os().GetDriveTypeA(root), static_cast<std::uint32_t>(p[1] - '0')) << root;
  }
}

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
TEST(Prefix, ScanOfDriveCStaysInsideIt) {
  const char* sentinel = std::getenv("VX_SENTINEL");
  std::size_t entries = 0;
  std::string found;
  Walk("C:", sentinel, 60000, &entries, &found);
  EXPECT_GT(entries, 500u);
  EXPECT_LE(entries, 60000u) << "the walk of C: does not end: it reaches the Linux file system";
  EXPECT_EQ(found, "");
  if (!sentinel) GTEST_SKIP() << "VX_SENTINEL not set by the runner";
}

}  // namespace
