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
  Os().SetLastError(kErrorMarker);
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
