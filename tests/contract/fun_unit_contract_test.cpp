// FunUnit's file routines over either platform: the presence test that
// decides which marker files the walker deletes, and the file stamp. Its
// system folder and upper-casing stand with the system calls they wrap.
#include "tests/contract/contract_fixture.h"
#include "util/fun_unit.h"

namespace vxcontract {
namespace {

using ContractFunUnit = Contract;

TEST_F(ContractFunUnit, PresenceNeedsAFileDatedWithinTheDosRange) {
  struct Case {
    const char* name;
    int year;  // of the file's last write; 0: a folder, -1: nothing there
    bool present;
  };
  const Case cases[] = {
      {"marker.ini", 2009, true}, {"first.ini", 1980, true},  {"last.ini", 2107, true},
      {"old.ini", 1975, false},   {"future.ini", 2110, false}, {"folder.ini", 0, false},
      {"missing.ini", -1, false}, {"nofolder\\marker.ini", -1, false},
  };
  for (const Case& c : cases) {
    if (c.year > 0) {
      Put(At(c.name), "[x]");
      bed->SetLastWriteTime(At(c.name), UtcTime(c.year, 6, 1, 12));
    }
    if (c.year == 0) bed->MakeFolder(At(c.name));
    EXPECT_EQ(vx::QueryFilePresent(At(c.name)), c.present) << c.name;
    EXPECT_EQ(vx::QueryFileStamp(At(c.name)) != -1, c.present) << c.name;
  }
  EXPECT_FALSE(vx::QueryFilePresent(bed->Scratch()));

  // The stamp is the local DOS date above the DOS time: whatever the zone,
  // the year, the month and the seconds of this one stay.
  bed->SetLastWriteTime(At("marker.ini"), UtcTime(2009, 3, 14, 15, 9, 26));
  std::int32_t stamp = vx::QueryFileStamp(At("marker.ini"));
  EXPECT_EQ(stamp >> 25, 2009 - 1980);
  EXPECT_EQ((stamp >> 21) & 15, 3);
  EXPECT_EQ(stamp & 31, 26 / 2);
  // Hidden and read-only marker files are present all the same.
  ASSERT_TRUE(Os().SetFileAttributesA(At("marker.ini").c_str(), vx::kAttrHidden | vx::kAttrReadOnly));
  EXPECT_TRUE(vx::QueryFilePresent(At("marker.ini")));
}

TEST_F(ContractFunUnit, AWildcardLooksAtTheFirstMatchOnly) {
  Put(At("one.ini"), "1");
  bed->MakeFolder(At("folder.dir"));
  bed->MakeFolder(At("x1"));
  Put(At("x2"), "x");
  struct Case {
    const char* pattern;
    bool present;
  };
  // "." comes first in a folder: "*" finds no file.
  for (Case c : {Case{"*.ini", true}, Case{"on?.ini", true}, Case{"*.dir", false}, Case{"*.exe", false},
                 Case{"*", false}}) {
    EXPECT_EQ(vx::QueryFilePresent(At(c.pattern)), c.present) << c.pattern;
  }
  // With a folder and a file matching, the answer follows whichever the system lists first.
  Listing listing = List(At("x?"));
  ASSERT_EQ(listing.entries.size(), 2u);
  EXPECT_EQ(vx::QueryFilePresent(At("x?")), !(listing.entries[0].attributes & vx::kAttrDirectory));
}

}  // namespace
}  // namespace vxcontract
