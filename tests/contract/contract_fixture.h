// The fixture of the platform contract: a fresh bed per test and the few
// helpers the facts are written with. Each fact follows one idiom: set the
// last error to a marker, make the call, check the result and the error.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/contract/contract_bed.h"
#include "tests/test_helpers.h"

namespace vxcontract {

using vxtest::kErrorMarker;
using vxtest::UtcTime;

// One folder listing: every entry in the order given, and the error that ended it.
struct Listing {
  std::vector<vx::FindData> entries;
  std::uint32_t error = 0;  // of the failed FindFirstFileA, or of the last FindNextFileA

  std::vector<std::string> Names() const;
  const vx::FindData* Find(const std::string& name) const;  // nullptr when absent
};

class Contract : public ::testing::Test {
 protected:
  void SetUp() override { bed = MakeBed(); }
  void TearDown() override { bed.reset(); }

  static vx::Platform& Os() { return vx::Sys(); }
  std::string At(const std::string& name) const { return bed->Scratch() + "\\" + name; }

  // Creates or replaces a file through the seam; it closes before this returns.
  void Put(const std::string& path, const std::string& bytes);
  // The whole file as the seam reads it; empty when it cannot be opened.
  std::string Get(const std::string& path);
  Listing List(const std::string& pattern);
  vx::Handle Open(const std::string& path, std::uint32_t access, std::uint32_t share,
                  std::uint32_t disposition = vx::kOpenExisting) {
    return Os().CreateFileA(path.c_str(), access, share, disposition, vx::kAttrNormal);
  }

  // A file that must open; the test goes on either way.
  vx::Handle Opened(const std::string& path, std::uint32_t access, std::uint32_t share,
                    std::uint32_t disposition = vx::kOpenExisting);
  // The last error a call leaves; the marker goes in first, so an error the
  // call left alone shows.
  static std::uint32_t ErrorOf(const std::function<void()>& call);
  // Each expects its call to fail and gives the last error it left.
  std::uint32_t AttributesError(const std::string& path);
  std::uint32_t OpenError(const std::string& path, std::uint32_t access, std::uint32_t share = 0,
                          std::uint32_t disposition = vx::kOpenExisting);
  std::uint32_t DeleteError(const std::string& path);
  std::uint32_t FindError(const std::string& pattern);

  std::unique_ptr<Bed> bed;
};

}  // namespace vxcontract
