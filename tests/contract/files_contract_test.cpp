// What Windows answers to the file calls the walker, the file reader, both
// repairers and the drive-root cleanup make: folder listings, paths, opens and
// their share modes, reading, writing, seeking and truncating, attributes and
// deletion. The same facts hold for the in-memory machine and for the Win32
// adapter; a fact the machine gets wrong makes every engine test above it lie.
#include <cstring>
#include <set>
#include <string>

#include "tests/contract/contract_fixture.h"

namespace vxcontract {
namespace {

using ContractListing = Contract;
using ContractPaths = Contract;
using ContractOpen = Contract;
using ContractContent = Contract;
using ContractDelete = Contract;

using vx::FindData;
using vx::Handle;

constexpr std::uint32_t kReadWrite = vx::kGenericRead | vx::kGenericWrite;
constexpr std::uint32_t kFlagBits = vx::kAttrReadOnly | vx::kAttrHidden | vx::kAttrSystem | vx::kAttrDirectory;

std::set<std::string> NameSet(const Listing& listing) {
  std::vector<std::string> names = listing.Names();
  return std::set<std::string>(names.begin(), names.end());
}

// ---- Listing ----------------------------------------------------------------------------

TEST_F(ContractListing, SubfolderListsDotsFirstThenEveryEntryWithItsFacts) {
  Put(At("a.exe"), std::string(1234, 'x'));
  Put(At("empty.htm"), "");
  Put(At("hid.ini"), "h");
  bed->MakeFolder(At("sub"));
  ASSERT_TRUE(Os().SetFileAttributesA(At("hid.ini").c_str(), vx::kAttrHidden | vx::kAttrSystem));

  for (const char* everything : {"*", "*.*"}) {
    Listing listing = List(At(everything));
    EXPECT_EQ(listing.error, vx::kErrorNoMoreFiles) << everything;
    ASSERT_EQ(listing.entries.size(), 6u) << everything;
    EXPECT_STREQ(listing.entries[0].name, ".");
    EXPECT_STREQ(listing.entries[1].name, "..");
    EXPECT_EQ(listing.entries[0].attributes & kFlagBits, static_cast<std::uint32_t>(vx::kAttrDirectory));
    EXPECT_EQ(listing.entries[1].attributes & kFlagBits, static_cast<std::uint32_t>(vx::kAttrDirectory));
    EXPECT_EQ(NameSet(listing), (std::set<std::string>{".", "..", "a.exe", "empty.htm", "hid.ini", "sub"}));

    const FindData* exe = listing.Find("a.exe");
    EXPECT_EQ(exe->sizeLow, 1234u);
    EXPECT_EQ(exe->sizeHigh, 0u);
    EXPECT_EQ(exe->attributes & kFlagBits, 0u);
    EXPECT_EQ(listing.Find("empty.htm")->sizeLow, 0u);
    EXPECT_EQ(listing.Find("hid.ini")->attributes & kFlagBits, static_cast<std::uint32_t>(vx::kAttrHidden | vx::kAttrSystem));
    EXPECT_EQ(listing.Find("sub")->attributes & kFlagBits, static_cast<std::uint32_t>(vx::kAttrDirectory));
  }
}

TEST_F(ContractListing, EmptyMissingAndRootListings) {
  bed->MakeFolder(At("empty"));
  // An empty folder still lists "." and "..", never "no file".
  Listing empty = List(At("empty\\*"));
  EXPECT_EQ(empty.Names(), (std::vector<std::string>{".", ".."}));
  EXPECT_EQ(empty.error, vx::kErrorNoMoreFiles);

  struct Case {
    const char* pattern;
    std::uint32_t error;
  };
  const Case failures[] = {
      {"empty\\*.exe", vx::kErrorFileNotFound},   // nothing matches in a folder that exists
      {"missing.txt", vx::kErrorFileNotFound},
      {"nofolder\\*", vx::kErrorPathNotFound},
      {"no\\folder\\*", vx::kErrorPathNotFound},
  };
  for (const Case& c : failures) {
    FindData data;
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Os().FindFirstFileA(At(c.pattern).c_str(), &data), vx::kInvalidHandle) << c.pattern;
    EXPECT_EQ(Os().GetLastError(), c.error) << c.pattern;
  }

  // A drive root has no "." and "..".
  Listing root = List("C:\\*");
  EXPECT_EQ(root.error, vx::kErrorNoMoreFiles);
  EXPECT_FALSE(root.entries.empty());
  EXPECT_EQ(root.Find("."), nullptr);
  EXPECT_EQ(root.Find(".."), nullptr);
  ASSERT_NE(root.Find("windows"), nullptr);
}

TEST_F(ContractListing, WildcardsAndExactNamesIgnoreAsciiCaseAndSeeShortNames) {
  for (const char* name : {"a.htm", "ab.htm", "b.htmx", "readme", "Quellin_.ini", "Quellin__.ini"}) {
    Put(At(name), "");
  }
  struct Case {
    const char* pattern;
    std::set<std::string> names;
  };
  // A name that is no legal 8.3 name also has a short one ("B~1.HTM"), and
  // patterns match it too.
  const Case cases[] = {
      {"?.htm", {"a.htm"}},
      {"*.HTM", {"a.htm", "ab.htm", "b.htmx"}},
      {"a*", {"a.htm", "ab.htm"}},
      {"readme.*", {"readme"}},  // "name.*" also matches the name without an extension
      {"QUELLIN_.INI", {"Quellin_.ini"}},
      {"quellin__.ini", {"Quellin__.ini"}},
      {"????????.ini", {"Quellin_.ini", "Quellin__.ini"}},
      {"Quellin___.ini", {}},
      {"*.exe", {}},
  };
  for (const Case& c : cases) {
    Listing listing = List(At(c.pattern));
    EXPECT_EQ(NameSet(listing), c.names) << c.pattern;
    EXPECT_EQ(listing.error, c.names.empty() ? vx::kErrorFileNotFound : vx::kErrorNoMoreFiles) << c.pattern;
  }
  // A listing reports that short name, and a search for it finds the entry.
  Listing all = List(At("*"));
  const std::string shortName = all.Find("Quellin__.ini")->alternateName;
  EXPECT_NE(shortName, "");
  EXPECT_EQ(NameSet(List(At(shortName))), (std::set<std::string>{"Quellin__.ini"}));
  EXPECT_STREQ(all.Find("a.htm")->alternateName, "");
}

TEST_F(ContractListing, ReportsTheLastWriteTimeAndGbkNamesAsStored) {
  // A GBK name: ANSI names round-trip under code page 936.
  const std::string gbk = "病毒样本.exe";
  Put(At(gbk), "MZ");
  Put(At("t.txt"), "t");
  vx::FileTime when = UtcTime(2004, 5, 6, 7, 8, 10);
  bed->SetLastWriteTime(At("t.txt"), when);

  Listing exes = List(At("*.exe"));
  ASSERT_EQ(exes.Names(), (std::vector<std::string>{gbk}));
  EXPECT_EQ(exes.entries[0].sizeLow, 2u);
  EXPECT_EQ(Get(At(gbk)), "MZ");
  Listing dated = List(At("t.txt"));
  ASSERT_EQ(dated.entries.size(), 1u);
  EXPECT_EQ(dated.entries[0].lastWriteTime, when);
}

TEST_F(ContractListing, ASearchClosesWithFindCloseOnly) {
  Put(At("x"), "");
  FindData data;
  Handle search = Os().FindFirstFileA(At("*").c_str(), &data);
  ASSERT_NE(search, vx::kInvalidHandle);
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().CloseHandle(search));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorInvalidHandle);
  EXPECT_TRUE(Os().FindNextFileA(search, &data));  // still open
  EXPECT_TRUE(Os().FindClose(search));
}

// ---- Paths ------------------------------------------------------------------------------

TEST_F(ContractPaths, NamesIgnoreAsciiCaseButNotTheTrailBytesOfGbkCharacters) {
  bed->MakeFolder(At("Dir"));
  Put(At("Dir\\File.TXT"), "x");
  for (const char* spelling : {"dir\\file.txt", "DIR\\FILE.TXT", "Dir/./sub/../File.txt"}) {
    Os().SetLastError(kErrorMarker);
    std::uint32_t attributes = Os().GetFileAttributesA(At(spelling).c_str());
    EXPECT_NE(attributes, vx::kInvalidFileAttributes) << spelling;
    EXPECT_EQ(attributes & kFlagBits, 0u) << spelling;
  }
  // "\xB0\x61" is one GBK character whose trail byte looks like 'a'; "\xB0\x41" is another.
  Put(At("\xB0\x61.txt"), "x");
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().GetFileAttributesA(At("\xB0\x41.txt").c_str()), vx::kInvalidFileAttributes);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorFileNotFound);
  // A folder missing on the way, or a file standing where a folder should.
  for (const char* name : {"nofolder\\x", "Dir\\File.TXT\\x"}) {
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Os().GetFileAttributesA(At(name).c_str()), vx::kInvalidFileAttributes) << name;
    EXPECT_EQ(Os().GetLastError(), vx::kErrorPathNotFound) << name;
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Open(At(name), vx::kGenericWrite, 0, vx::kCreateAlways), vx::kInvalidHandle) << name;
    EXPECT_EQ(Os().GetLastError(), vx::kErrorPathNotFound) << name;
    Os().SetLastError(kErrorMarker);
    EXPECT_FALSE(Os().DeleteFileA(At(name).c_str())) << name;
    EXPECT_EQ(Os().GetLastError(), vx::kErrorPathNotFound) << name;
  }
}

TEST_F(ContractPaths, AnsiCallsRefuseMoreThan260Characters) {
  // Paths of so many characters in a folder that does not exist, ending in
  // single-byte or in double-byte characters: the limit counts characters.
  struct Case {
    std::size_t characters;
    const char* character;
    std::uint32_t error;
  };
  const Case cases[] = {
      {vx::kMaxPath - 1, "f", vx::kErrorPathNotFound},
      {vx::kMaxPath + 1, "f", vx::kErrorFilenameExcedRange},
      {vx::kMaxPath - 1, "\xB0\xA1", vx::kErrorPathNotFound},  // some 400 bytes
      {vx::kMaxPath + 1, "\xB0\xA1", vx::kErrorFilenameExcedRange},
  };
  for (const Case& c : cases) {
    std::string path = At(std::string(100, 'd') + "\\");  // single-byte characters only
    for (std::size_t n = path.size(); n < c.characters; ++n) path += c.character;
    std::string length = std::to_string(c.characters) + (path.size() > c.characters ? " double-byte" : "");
    std::uint32_t expected = c.error;
    FindData data;
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Os().GetFileAttributesA(path.c_str()), vx::kInvalidFileAttributes);
    EXPECT_EQ(Os().GetLastError(), expected) << length;
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Open(path, vx::kGenericWrite, 0, vx::kCreateAlways), vx::kInvalidHandle);
    EXPECT_EQ(Os().GetLastError(), expected) << length;
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Os().FindFirstFileA(path.c_str(), &data), vx::kInvalidHandle);
    EXPECT_EQ(Os().GetLastError(), expected) << length;
    Os().SetLastError(kErrorMarker);
    EXPECT_FALSE(Os().DeleteFileA(path.c_str()));
    EXPECT_EQ(Os().GetLastError(), expected) << length;
  }
}

// ---- Opening ----------------------------------------------------------------------------

TEST_F(ContractOpen, DispositionsOverMissingAndExistingFiles) {
  struct Case {
    std::uint32_t disposition;
    bool exists;
    bool opens;
    std::uint32_t error;  // the last error after the call, success or not
    const char* after;    // content afterwards; nullptr: no file
  };
  const Case cases[] = {
      {vx::kOpenExisting, false, false, vx::kErrorFileNotFound, nullptr},
      {vx::kOpenExisting, true, true, vx::kErrorSuccess, "old"},
      {vx::kCreateNew, false, true, vx::kErrorSuccess, ""},
      {vx::kCreateNew, true, false, vx::kErrorFileExists, "old"},
      {vx::kCreateAlways, false, true, vx::kErrorSuccess, ""},
      {vx::kCreateAlways, true, true, vx::kErrorAlreadyExists, ""},
      {vx::kOpenAlways, false, true, vx::kErrorSuccess, ""},
      {vx::kOpenAlways, true, true, vx::kErrorAlreadyExists, "old"},
      {vx::kTruncateExisting, false, false, vx::kErrorFileNotFound, nullptr},
      {vx::kTruncateExisting, true, true, vx::kErrorSuccess, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string path = At("f" + std::to_string(n++));
    if (c.exists) Put(path, "old");
    Os().SetLastError(kErrorMarker);
    Handle file = Open(path, kReadWrite, 0, c.disposition);
    EXPECT_EQ(file != vx::kInvalidHandle, c.opens) << path;
    EXPECT_EQ(Os().GetLastError(), c.error) << path;
    if (file != vx::kInvalidHandle) {
      EXPECT_TRUE(Os().CloseHandle(file));
    }
    std::uint32_t attributes = Os().GetFileAttributesA(path.c_str());
    EXPECT_EQ(attributes != vx::kInvalidFileAttributes, c.after != nullptr) << path;
    if (c.after) {
      EXPECT_EQ(Get(path), c.after) << path;
    }
  }
}

TEST_F(ContractOpen, FailuresAndWhatAHandleWasOpenedFor) {
  Put(At("f.txt"), "abc");
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Open(At("no\\f.txt"), vx::kGenericWrite, 0, vx::kCreateAlways), vx::kInvalidHandle);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorPathNotFound);
  // A folder, a drive root too, does not open as a file.
  for (const std::string& folder : {bed->Scratch(), std::string("C:\\")}) {
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Open(folder, vx::kGenericRead, vx::kFileShareRead), vx::kInvalidHandle) << folder;
    EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied) << folder;
  }

  // Opened for reading: no writing, no flushing.
  Handle reader = Open(At("f.txt"), vx::kGenericRead, vx::kFileShareRead);
  ASSERT_NE(reader, vx::kInvalidHandle);
  std::uint32_t written = 7;
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().WriteFile(reader, "x", 1, &written));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied);
  EXPECT_EQ(written, 0u);
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().FlushFileBuffers(reader));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied);
  std::uint32_t got = 7;
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().ReadFile(reader, nullptr, 4, &got));  // no buffer to read into
  EXPECT_EQ(Os().GetLastError(), vx::kErrorNoAccess);
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(Os().CloseHandle(reader));
  // Opened for writing: no reading.
  Handle writer = Open(At("f.txt"), vx::kGenericWrite, 0);
  ASSERT_NE(writer, vx::kInvalidHandle);
  char buffer[4];
  got = 7;
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().ReadFile(writer, buffer, sizeof buffer, &got));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied);
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(Os().CloseHandle(writer));
  EXPECT_EQ(Get(At("f.txt")), "abc");
}

TEST_F(ContractOpen, ShareModesClashBothWays) {
  // The first open stays while the second is tried; each must allow what the other wants.
  struct Case {
    std::uint32_t firstAccess, firstShare, secondAccess, secondShare;
    bool secondOpens;
  };
  constexpr std::uint32_t R = vx::kGenericRead, W = vx::kGenericWrite;
  constexpr std::uint32_t sR = vx::kFileShareRead, sW = vx::kFileShareWrite;
  const Case cases[] = {
      {R, sR, R, sR, true},
      {R, sR, R, 0, false},            // the second shares no reading with the first
      {R, sR, W, sR | sW, false},      // the first shares no writing
      {R, sR | sW, R | W, sR, true},   // the way the walker reads while another reads too
      {R | W, 0, R, sR | sW, false},   // a rewrite's exclusive open locks every reader out
      {R, sR | sW, R | W, 0, false},   // and cannot start while a reader is in
      {W, sR, R, sR | sW, true},
      {W, sR, W, sR | sW, false},
      {W, sR | sW, W, sR | sW, true},
  };
  Put(At("f"), "data");
  for (const Case& c : cases) {
    std::string what = std::to_string(c.firstAccess >> 30) + "/" + std::to_string(c.firstShare) + " then " +
                       std::to_string(c.secondAccess >> 30) + "/" + std::to_string(c.secondShare);
    Handle first = Open(At("f"), c.firstAccess, c.firstShare);
    ASSERT_NE(first, vx::kInvalidHandle) << what;
    Os().SetLastError(kErrorMarker);
    Handle second = Open(At("f"), c.secondAccess, c.secondShare);
    EXPECT_EQ(second != vx::kInvalidHandle, c.secondOpens) << what;
    EXPECT_EQ(Os().GetLastError(), c.secondOpens ? vx::kErrorSuccess : vx::kErrorSharingViolation) << what;
    if (second != vx::kInvalidHandle) {
      EXPECT_TRUE(Os().CloseHandle(second));
    }
    EXPECT_TRUE(Os().CloseHandle(first));
  }
  EXPECT_EQ(Get(At("f")), "data");
}

TEST_F(ContractOpen, AnOpenFileIsDeletedOnlyWhenItSharesDeletion) {
  Put(At("lock.htm"), "page");
  Handle holder = Open(At("lock.htm"), kReadWrite, vx::kFileShareRead | vx::kFileShareWrite);
  ASSERT_NE(holder, vx::kInvalidHandle);
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().DeleteFileA(At("lock.htm").c_str()));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorSharingViolation);
  EXPECT_TRUE(Os().CloseHandle(holder));

  Handle reader = Open(At("lock.htm"), vx::kGenericRead, vx::kFileShareRead | vx::kFileShareDelete);
  ASSERT_NE(reader, vx::kInvalidHandle);
  EXPECT_TRUE(Os().DeleteFileA(At("lock.htm").c_str()));
  EXPECT_EQ(List(At("lock.htm")).Names(), (std::vector<std::string>{"lock.htm"}));  // until the last close
  char buffer[8];
  std::uint32_t got = 0;
  EXPECT_TRUE(Os().ReadFile(reader, buffer, sizeof buffer, &got));  // the open handle still reads
  EXPECT_EQ(std::string(buffer, got), "page");
  EXPECT_TRUE(Os().CloseHandle(reader));
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().GetFileAttributesA(At("lock.htm").c_str()), vx::kInvalidFileAttributes);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorFileNotFound);
}

// ---- Content ----------------------------------------------------------------------------

TEST_F(ContractContent, WriteSeekTruncateExtendAndReadBack) {
  Handle f = Open(At("f.bin"), kReadWrite, 0, vx::kCreateAlways);
  ASSERT_NE(f, vx::kInvalidHandle);
  const char bytes[] = "0123456789\0tail";
  std::uint32_t written = 0;
  ASSERT_TRUE(Os().WriteFile(f, bytes, sizeof bytes - 1, &written));
  EXPECT_EQ(written, sizeof bytes - 1);
  std::uint32_t high = 7;
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().GetFileSize(f, &high), sizeof bytes - 1);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(Os().GetLastError(), kErrorMarker);  // a success leaves the last error alone

  // Each move from where the one before left the pointer.
  struct Move {
    std::int32_t distance;
    std::uint32_t method, expected;
  };
  const Move moves[] = {{4, vx::kFileBegin, 4}, {-2, vx::kFileCurrent, 2}, {-3, vx::kFileEnd, 12},
                        {0, vx::kFileCurrent, 12}, {30, vx::kFileEnd, 45}, {4, vx::kFileBegin, 4}};
  for (const Move& m : moves) {
    Os().SetLastError(kErrorMarker);
    EXPECT_EQ(Os().SetFilePointer(f, m.distance, nullptr, m.method), m.expected);
    EXPECT_EQ(Os().GetLastError(), kErrorMarker);
  }
  // A position whose low half is the failure mark is told apart by the error.
  std::int32_t distanceHigh = 0;
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().SetFilePointer(f, -1, &distanceHigh, vx::kFileBegin), vx::kInvalidSetFilePointer);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorSuccess);
  EXPECT_EQ(distanceHigh, 0);
  EXPECT_EQ(Os().SetFilePointer(f, 4, nullptr, vx::kFileBegin), 4u);
  ASSERT_TRUE(Os().SetEndOfFile(f));  // cut at 4
  EXPECT_EQ(Os().GetFileSize(f, nullptr), 4u);
  // A move before the start fails and leaves the pointer where it was.
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().SetFilePointer(f, -10, nullptr, vx::kFileCurrent), vx::kInvalidSetFilePointer);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorNegativeSeek);
  EXPECT_EQ(Os().SetFilePointer(f, 0, nullptr, vx::kFileCurrent), 4u);
  // Past the end, the end moves out and the gap reads as zeros.
  EXPECT_EQ(Os().SetFilePointer(f, 7, nullptr, vx::kFileBegin), 7u);
  ASSERT_TRUE(Os().SetEndOfFile(f));
  EXPECT_EQ(Os().SetFilePointer(f, 0, nullptr, vx::kFileBegin), 0u);
  char back[16] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(Os().ReadFile(f, back, sizeof back, &got));
  EXPECT_EQ(std::string(back, got), std::string("0123\0\0\0", 7));
  // At the end a read succeeds with no bytes.
  got = 7;
  ASSERT_TRUE(Os().ReadFile(f, back, sizeof back, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_TRUE(Os().FlushFileBuffers(f));

  EXPECT_TRUE(Os().CloseHandle(f));
  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().CloseHandle(f));  // closed once is closed
  EXPECT_EQ(Os().GetLastError(), vx::kErrorInvalidHandle);
  EXPECT_EQ(Get(At("f.bin")), std::string("0123\0\0\0", 7));
}

TEST_F(ContractContent, LargeBlocksWithZeroBytesRoundTrip) {
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes.push_back(static_cast<char>(i * 7));
  Put(At("big.bin"), bytes);
  Handle f = Open(At("big.bin"), vx::kGenericRead, vx::kFileShareRead);
  ASSERT_NE(f, vx::kInvalidHandle);
  std::string back(bytes.size() + 10, '\0');
  std::uint32_t got = 0;
  ASSERT_TRUE(Os().ReadFile(f, &back[0], static_cast<std::uint32_t>(back.size()), &got));
  back.resize(got);
  EXPECT_TRUE(back == bytes);
  EXPECT_TRUE(Os().CloseHandle(f));
}

// ---- Attributes and deletion ------------------------------------------------------------

TEST_F(ContractDelete, ReadOnlyFilesStayUntilTheirAttributesAreCleared) {
  const std::string path = At("autorun.inf");
  Put(path, "[autorun]");
  // Hidden and system first: Wine keeps them in an extended attribute, which an
  // unprivileged user can no longer write once the file is read-only.
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrHidden | vx::kAttrSystem));
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()) & kFlagBits, static_cast<std::uint32_t>(vx::kAttrHidden | vx::kAttrSystem));
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrReadOnly | vx::kAttrHidden | vx::kAttrSystem));
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()) & kFlagBits,
            static_cast<std::uint32_t>(vx::kAttrReadOnly | vx::kAttrHidden | vx::kAttrSystem));

  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().DeleteFileA(path.c_str()));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorAccessDenied);
  EXPECT_EQ(Get(path), "[autorun]");

  Os().SetLastError(kErrorMarker);
  ASSERT_TRUE(Os().SetFileAttributesA(path.c_str(), vx::kAttrNormal));
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()) & kFlagBits, 0u);
  EXPECT_TRUE(Os().DeleteFileA(path.c_str()));
  Os().SetLastError(kErrorMarker);
  EXPECT_EQ(Os().GetFileAttributesA(path.c_str()), vx::kInvalidFileAttributes);
  EXPECT_EQ(Os().GetLastError(), vx::kErrorFileNotFound);
}

TEST_F(ContractDelete, MissingFilesAndFolders) {
  bed->MakeFolder(At("folder"));
  struct Case {
    const char* name;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"gone.ini", vx::kErrorFileNotFound},
      {"nofolder\\gone.ini", vx::kErrorPathNotFound},
      {"folder", vx::kErrorAccessDenied},  // a folder is not deleted as a file
  };
  for (const Case& c : cases) {
    Os().SetLastError(kErrorMarker);
    EXPECT_FALSE(Os().DeleteFileA(At(c.name).c_str())) << c.name;
    EXPECT_EQ(Os().GetLastError(), c.error) << c.name;
  }
  EXPECT_EQ(Os().GetFileAttributesA(At("folder").c_str()) & kFlagBits, static_cast<std::uint32_t>(vx::kAttrDirectory));

  Os().SetLastError(kErrorMarker);
  EXPECT_FALSE(Os().SetFileAttributesA(At("gone.ini").c_str(), vx::kAttrNormal));
  EXPECT_EQ(Os().GetLastError(), vx::kErrorFileNotFound);
  // A folder stays a folder whatever attributes it is given.
  ASSERT_TRUE(Os().SetFileAttributesA(At("folder").c_str(), vx::kAttrHidden | vx::kAttrNormal));
  EXPECT_EQ(Os().GetFileAttributesA(At("folder").c_str()) & kFlagBits,
            static_cast<std::uint32_t>(vx::kAttrDirectory | vx::kAttrHidden));
  ASSERT_TRUE(Os().SetFileAttributesA(At("folder").c_str(), vx::kAttrNormal));
  EXPECT_EQ(Os().GetFileAttributesA(At("folder").c_str()) & kFlagBits, static_cast<std::uint32_t>(vx::kAttrDirectory));
}

}  // namespace
}  // namespace vxcontract
