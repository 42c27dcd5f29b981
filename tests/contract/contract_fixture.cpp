#include "tests/contract/contract_fixture.h"

#include <cstring>

namespace vxcontract {

std::vector<std::string> Listing::Names() const {
  std::vector<std::string> names;
  for (const vx::FindData& entry : entries) names.push_back(entry.name);
  return names;
}

const vx::FindData* Listing::Find(const std::string& name) const {
  for (const vx::FindData& entry : entries) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

vx::FileTime UtcTime(int year, int month, int day, int hour, int minute, int second) {
  // Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  std::int64_t days = era * 146097 + doe - 719468;
  constexpr std::int64_t kTicksPerSecond = 10000000;
  constexpr std::int64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 as a FILETIME
  std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
  return static_cast<vx::FileTime>(kUnixEpoch + seconds * kTicksPerSecond);
}

void Contract::Put(const std::string& path, const std::string& bytes) {
  vx::Handle file = Open(path, vx::kGenericWrite, 0, vx::kCreateAlways);
  ASSERT_NE(file, vx::kInvalidHandle) << path << " error " << Os().GetLastError();
  std::uint32_t written = 0;
  EXPECT_TRUE(Os().WriteFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written));
  EXPECT_EQ(written, bytes.size());
  EXPECT_TRUE(Os().CloseHandle(file));
}

std::string Contract::Get(const std::string& path) {
  vx::Handle file = Open(path, vx::kGenericRead, vx::kFileShareRead);
  if (file == vx::kInvalidHandle) return std::string();
  std::string bytes;
  char chunk[4096];
  std::uint32_t got = 0;
  while (Os().ReadFile(file, chunk, sizeof chunk, &got) && got > 0) bytes.append(chunk, got);
  EXPECT_TRUE(Os().CloseHandle(file));
  return bytes;
}

Listing Contract::List(const std::string& pattern) {
  Listing listing;
  vx::FindData data;
  Os().SetLastError(kMarker);
  vx::Handle search = Os().FindFirstFileA(pattern.c_str(), &data);
  if (search == vx::kInvalidHandle) {
    listing.error = Os().GetLastError();
    return listing;
  }
  do listing.entries.push_back(data);
  while (Os().FindNextFileA(search, &data));
  listing.error = Os().GetLastError();
  EXPECT_TRUE(Os().FindClose(search));
  return listing;
}

}  // namespace vxcontract
