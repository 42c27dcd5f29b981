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
  vx::Handle file = Opened(path, vx::kGenericWrite, 0, vx::kCreateAlways);
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

vx::Handle Contract::Opened(const std::string& path, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition) {
  vx::Handle file = Open(path, access, share, disposition);
  EXPECT_NE(file, vx::kInvalidHandle) << path << " error " << Os().GetLastError();
  return file;
}

std::uint32_t Contract::ErrorOf(const std::function<void()>& call) {
  Os().SetLastError(kErrorMarker);
  call();
  return Os().GetLastError();
}

std::uint32_t Contract::AttributesError(const std::string& path) {
  return ErrorOf([&] { EXPECT_EQ(Os().GetFileAttributesA(path.c_str()), vx::kInvalidFileAttributes) << path; });
}

std::uint32_t Contract::OpenError(const std::string& path, std::uint32_t access, std::uint32_t share,
                                  std::uint32_t disposition) {
  return ErrorOf([&] { EXPECT_EQ(Open(path, access, share, disposition), vx::kInvalidHandle) << path; });
}

std::uint32_t Contract::DeleteError(const std::string& path) {
  return ErrorOf([&] { EXPECT_FALSE(Os().DeleteFileA(path.c_str())) << path; });
}

std::uint32_t Contract::FindError(const std::string& pattern) {
  Listing listing = List(pattern);
  EXPECT_TRUE(listing.entries.empty()) << pattern;
  return listing.error;
}

}  // namespace vxcontract
