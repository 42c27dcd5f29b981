#include <new>
#include <string>

#include "engine/scan_tree.h"
#include "util/fun_unit.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

class ScanTreeTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    machine.AddDrive('D', kDriveFixed);
    machine.SetTracing(true);
  }
  int CountSleeps(std::uint32_t ms) {
    auto s = machine.Sleeps();
    return static_cast<int>(std::count(s.begin(), s.end(), ms));
  }
};

TEST_F(ScanTreeTest, DeletesMarkersBeforeDescendingThenExaminesFiles) {
  machine.AddFile("D:\\sub\\Quellin_.ini", "m", kAttrHidden | kAttrReadOnly);
  machine.AddFile("D:\\sub\\Quellin__.ini", "m");
  machine.AddFile("D:\\sub\\deep\\Quellin__.ini", "m");
  machine.AddFile("D:\\f.html", "<p>");
  machine.AddFile("D:\\Quellin_.ini", "root marker stays");
  ScanTree("D:\\");

  EXPECT_EQ(window.Log(), (std::vector<std::string>{
                              "D:\\sub\\Quellin_.ini 删除成功!",
                              "D:\\sub\\Quellin__.ini 删除成功!",
                              "D:\\sub\\deep\\Quellin__.ini 删除成功!",
                          }));
  EXPECT_FALSE(machine.Exists("D:\\sub\\Quellin_.ini"));
  EXPECT_TRUE(machine.Exists("D:\\Quellin_.ini"));
  // The root marker is met as an ordinary file: counted and shown.
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"D:\\f.html", "D:\\Quellin_.ini"}));
  EXPECT_EQ(ScannedFiles, 2);
  EXPECT_EQ(window.panels[1], "扫描文件数:2");
  // Attributes are reset, then a 1 ms pause, then the deletion.
  auto trace = machine.Trace();
  auto reset = std::find(trace.begin(), trace.end(), "SetFileAttributesA D:\\sub\\Quellin_.ini 128");
  ASSERT_NE(reset, trace.end());
  EXPECT_EQ(*(reset + 1), "Sleep 1");
  EXPECT_EQ(*(reset + 2), "DeleteFileA D:\\sub\\Quellin_.ini");
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(ScanTreeTest, FolderNamedLikeAMarkerIsWalkedNotDeleted) {
  machine.AddFile("D:\\a\\Quellin_.ini\\x.txt", "x");
  ScanTree("D:\\");
  EXPECT_TRUE(machine.IsFolder("D:\\a\\Quellin_.ini"));
  EXPECT_TRUE(window.Log().empty());
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"D:\\a\\Quellin_.ini\\x.txt"}));
}

TEST_F(ScanTreeTest, DotNamesArePassedOverButPaced) {
  machine.AddFile("D:\\.htaccess", "x");
  machine.AddFile("D:\\.svn\\entries.htm", "x");
  machine.AddFolder("D:\\empty");
  ScanTree("D:");  // no final backslash: one is added, never doubled
  std::vector<std::string> listings;
  for (const std::string& line : TraceOf("FindFirstFileA ")) {
    if (line.size() > 3 && line.compare(line.size() - 3, 3, "*.*") == 0) listings.push_back(line);
  }
  EXPECT_EQ(listings, (std::vector<std::string>{"FindFirstFileA D:\\*.*", "FindFirstFileA D:\\empty\\*.*"}));
  EXPECT_EQ(ScannedFiles, 0);
  // Three root entries and the empty folder's "." and "..".
  EXPECT_EQ(CountSleeps(10), 5);
}

TEST_F(ScanTreeTest, SizeLimitJudgesTheWholeSize) {
  machine.AddSparseFile("D:\\under.txt", kMaxScanFileSize - 1);
  machine.AddSparseFile("D:\\at.txt", kMaxScanFileSize);
  machine.AddSparseFile("D:\\three.exe", 3ull << 30);
  machine.AddSparseFile("D:\\four.exe", (4ull << 30) + 10);
  ScanTree("D:\\");
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"D:\\under.txt"}));
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

// The size that decides whether a file is examined, and the markers of a
// subfolder, come with the folder's listing: the directory is searched once
// per folder, never once more for every file or every marker.
TEST_F(ScanTreeTest, FilesAreJudgedByTheirListingWithoutAnotherSearch) {
  for (int i = 0; i < 20; ++i) machine.AddFile("D:\\a\\f" + std::to_string(i) + ".txt", "x");
  machine.AddSparseFile("D:\\a\\at.txt", kMaxScanFileSize);
  machine.AddSparseFile("D:\\a\\four.txt", (4ull << 30) + 10);
  machine.AddFile("D:\\g.txt", "x");
  ScanTree("D:\\");
  EXPECT_EQ(ScannedFiles, 21);
  EXPECT_EQ(TraceOf("FindFirstFileA ").size(), 2u);  // two listings
}

TEST_F(ScanTreeTest, ExtensionsChooseAtMostOneHandler) {
  const char* pages[] = {"INDEX.HTM", "page.Html", "a.aspx", "b.asp", "c.php", "d.jsp"};
  const char* programs[] = {"Setup.eXe", "s.scr", "p.PIF", "c.com"};
  const char* others[] = {"a.exe.bak", "exe", "a.", "a.htmlx"};
  for (const char* n : pages) machine.AddFile(std::string("D:\\") + n, "x");
  for (const char* n : programs) machine.AddFile(std::string("D:\\") + n, "x");
  for (const char* n : others) machine.AddFile(std::string("D:\\") + n, "x");
  const char* elsewhere[] = {"cloud.exe", "offline.htm"};  // bytes a storage client keeps: counted, never opened
  machine.AddFile("D:\\cloud.exe", "x", kAttrArchive | kAttrRecallOnDataAccess);
  machine.AddFile("D:\\offline.htm", "x", kAttrOffline);
  ScanTree("D:\\");
  EXPECT_EQ(ScannedFiles, 16);
  // Web pages ask for the pattern once each; only handled files are opened.
  auto ops = window.Ops();
  EXPECT_EQ(std::count(ops.begin(), ops.end(), "pattern"), 6);
  auto trace = machine.Trace();
  auto opened = [&](const char* n) {
    return std::count(trace.begin(), trace.end(), std::string("CreateFileA D:\\") + n) > 0;
  };
  for (const char* n : programs) EXPECT_TRUE(opened(n)) << n;
  for (const char* n : others) EXPECT_FALSE(opened(n)) << n;
  for (const char* n : elsewhere) EXPECT_FALSE(opened(n)) << n;
  // What the benchmarks are told agrees with what the walk did.
  for (const char* n : pages) EXPECT_TRUE(HasRepairer(n)) << n;
  for (const char* n : programs) EXPECT_TRUE(HasRepairer(n)) << n;
  for (const char* n : others) EXPECT_FALSE(HasRepairer(n)) << n;
}

TEST_F(ScanTreeTest, StopEndsEveryLevelAfterItsCurrentEntry) {
  machine.AddFile("D:\\a\\1.txt", "x");
  machine.AddFile("D:\\a\\2.txt", "x");
  machine.AddFile("D:\\a\\3.txt", "x");
  machine.AddFile("D:\\b.txt", "x");
  window.onOp = [](const std::string& op) {
    if (op == "file D:\\a\\1.txt") ScanStopped = true;
  };
  ScanTree("D:\\");
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"D:\\a\\1.txt"}));
  // "." and ".." come before 1.txt in the folder, then one pause per level.
  EXPECT_EQ(CountSleeps(10), 4);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

// A marker is deleted exactly when its own search would call it present: any
// case of the letters, its long or its short name, a file, a time MS-DOS can
// hold. A whole listing tells; a folder that cannot be listed, or whose listing
// breaks off before the marker, gets the search.
TEST_F(ScanTreeTest, MarkersAreJudgedAsTheirOwnSearchJudgesThem) {
  struct Case {
    const char* name;
    const char* shortName;  // set explicitly, as another system may write it
    bool folder;
    FileTime lastWrite;
    bool undeletable;
  } cases[] = {
      {"Quellin_.ini", nullptr, false, MemoryPlatform::kDefaultTime, false},
      {"QUELLIN__.INI", nullptr, false, MemoryPlatform::kDefaultTime, false},
      {"quellin_.ini", nullptr, false, 110000000000000000ull, false},  // 1949
      {"Quellin__.ini", nullptr, true, MemoryPlatform::kDefaultTime, false},
      {"Quellin_.ini", nullptr, false, MemoryPlatform::kDefaultTime, true},
      {"Quellin_.ini.bak", nullptr, false, MemoryPlatform::kDefaultTime, false},
      {"Quellix_.ini", nullptr, false, MemoryPlatform::kDefaultTime, false},  // the length alone is no match
      {"Quellin_ 2.ini", "QUELLIN_.INI", false, MemoryPlatform::kDefaultTime, false},
  };
  enum Way { kWhole, kUnlistable, kBrokenOff };
  for (const Case& c : cases) {
    for (Way way : {kWhole, kUnlistable, kBrokenOff}) {
      SCOPED_TRACE(std::string(c.name) + (c.folder ? " folder" : "") + (c.undeletable ? " undeletable" : "") +
                   " way " + std::to_string(way));
      OnFresh([&](MemoryPlatform& m, FakeWindow& w) {
        ScannedFiles = 0;
        m.AddDrive('D', kDriveFixed);
        const std::string name = c.name, entry = "D:\\s\\" + name;
        c.folder ? m.AddFolder(entry) : m.AddFile(entry, "m", kAttrHidden | kAttrSystem, c.lastWrite);
        if (c.shortName) m.SetShortName(entry, c.shortName);
        m.AddFile("D:\\s\\x.txt", "x");
        const std::string key = c.shortName ? c.shortName : name;
        const std::string marker = std::string("D:\\s\\") + (key.size() == 12 ? "Quellin_.ini" : "Quellin__.ini");
        const bool present = key.size() <= 13 && QueryFilePresent(marker);
        if (c.undeletable) m.FailCall(Op::DeleteFileA, 1, kErrorAccessDenied);
        if (way == kUnlistable) m.FailCall(Op::FindFirstFileA, 2, kErrorAccessDenied);  // the root's listing is the first
        if (way == kBrokenOff) m.FailCall(Op::FindNextFileA, 3, kErrorReadFault);  // after "." and ".."
        m.SetTracing(true);
        ScanTree("D:\\");
        const bool deleted = present && !c.undeletable;
        EXPECT_EQ(w.Log(), deleted ? std::vector<std::string>{entry + " 删除成功!"} : std::vector<std::string>{});
        EXPECT_EQ(m.Exists(entry), !deleted);
        // A marker left behind in a whole listing is met as a file.
        EXPECT_EQ(ScannedFiles, way != kWhole ? 0 : deleted || c.folder ? 1 : 2);
        const std::vector<std::string> trace = m.Trace();
        EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                                [](const std::string& t) { return t.compare(0, 15, "FindFirstFileA ") == 0; }),
                  way != kWhole ? 4 : c.folder ? 3 : 2);
      });
    }
  }
}

// In a folder whose names differ in case, the first entry a search would find
// is the marker: that one is deleted and logged, the other one is walked.
TEST_F(ScanTreeTest, OfTwoEntriesMatchingAMarkerTheFirstIsTheOneDeleted) {
  machine.AddDrive('E', kDriveFixed);
  for (const std::string root : {"D:", "E:"}) {
    const bool listable = root == "D:";
    machine.AddFile(root + "\\s\\QUELLIN_.INI", "m");
    machine.SetCaseSensitive(root + "\\s");
    machine.AddFile(root + "\\s\\Quellin_.ini", "m");
    window.log.clear();
    window.ops.clear();
    if (!listable) machine.FailCall(Op::FindFirstFileA, 2, kErrorAccessDenied);  // the root's listing is the first
    ScanTree(root);
    EXPECT_EQ(window.Log(), (std::vector<std::string>{root + "\\s\\QUELLIN_.INI 删除成功!"}));
    EXPECT_EQ(machine.ListNames(root + "\\s"), (std::vector<std::string>{"Quellin_.ini"}));
    EXPECT_EQ(window.Shown(), listable ? std::vector<std::string>{root + "\\s\\Quellin_.ini"} : std::vector<std::string>{});
  }
}

TEST_F(ScanTreeTest, OverlongPathsAreNeverOpenedOrDeletedShortened) {
  std::string folder = "D:\\" + std::string(240, 'f');
  machine.AddFile(folder + "\\short.txt", "x");
  machine.AddFile(folder + "\\" + std::string(30, 'n') + ".exe", "x");
  machine.AddFolder(folder + "\\" + std::string(20, 'g'));
  machine.AddFile(folder + "\\Quellin_" + std::string(20, 'q') + ".ini", "m");  // a marker by its 8.3 name only
  machine.SetShortName(folder + "\\Quellin_" + std::string(20, 'q') + ".ini", "QUELLIN_.INI");
  ScanTree("D:\\");
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{folder + "\\short.txt"}));
  EXPECT_TRUE(TraceOf("CreateFileA").empty());
  EXPECT_EQ(TraceOf("DeleteFileA"), (std::vector<std::string>{"DeleteFileA " + folder + "\\QUELLIN_.INI"}));
  EXPECT_EQ(machine.ListNames(folder).size(), 3u);
  EXPECT_TRUE(machine.Exists(folder + "\\" + std::string(30, 'n') + ".exe"));
}

// A folder that is a link (with a link's tag, or none, as Wine lists a Unix
// link) is passed over; a mounted volume and a cloud placeholder are walked.
TEST_F(ScanTreeTest, FolderLinksArePassedOverVolumesAndPlaceholdersWalked) {
  struct {
    const char* kind;
    std::uint32_t tag;
    bool walked;
  } rows[] = {{"junction", kTagMountPoint, false}, {"symbolic link", kTagSymlink, false}, {"no tag", 0, false},
              {"volume", kTagMountPoint, true}, {"cloud folder", kTagCloudFiles, true}};
  for (const auto& row : rows) {
    OnFresh([&](MemoryPlatform& m, FakeWindow& w) {
      m.AddDrive('D', kDriveFixed);
      m.AddDrive('E', kDriveFixed);
      m.AddFile("D:\\loop\\x.txt", "x");
      const std::string kind = row.kind, in = "D:\\loop\\in";
      if (kind == "volume") m.AddVolumeMountPoint(in, "E:\\");
      if (kind == "cloud folder") {
        m.AddFolder(in, kAttrDirectory | kAttrRecallOnOpen);
        m.SetReparseTag(in, row.tag);
      }
      if (!row.walked) m.AddFolderLink(in, "D:\\loop", row.tag);
      m.AddFile(row.walked ? in + "\\y.txt" : "E:\\y.txt", "y");
      ScanTree("D:\\");
      std::vector<std::string> shown{"D:\\loop\\x.txt"};
      if (row.walked) shown.push_back(in + "\\y.txt");
      EXPECT_EQ(w.Shown(), shown) << kind;
    });
  }
}

// The walk's words find no memory: that drive ends, the worker's next one is walked.
TEST_F(ScanTreeTest, AFailureMakingTheWordsEndsTheDriveOnly) {
  struct Wordless : MemoryPlatform {
    std::uint32_t CharUpperBuffA(const char* text, std::uint32_t length, char* upper, std::uint32_t size) override {
      if (std::string(text, length) == "html") throw std::bad_alloc();
      return MemoryPlatform::CharUpperBuffA(text, length, upper, size);
    }
  } wordless;
  SetPlatform(&wordless);
  EXPECT_NO_THROW(ScanTree("C:\\"));
  SetPlatform(&machine);
}

TEST_F(ScanTreeTest, HiddenAndSystemEntriesAreWalked) {
  machine.AddFolder("D:\\h", kAttrDirectory | kAttrHidden | kAttrSystem);
  machine.AddFile("D:\\h\\s.txt", "x", kAttrSystem | kAttrHidden | kAttrReadOnly);
  ScanTree("D:\\");
  EXPECT_EQ(window.Shown(), (std::vector<std::string>{"D:\\h\\s.txt"}));
}

TEST_F(ScanTreeTest, ListingOperationsSkipExcludedEntriesAndCloseOnce) {
  machine.AddFolder("D:\\dir");
  machine.AddFile("D:\\hidden.txt", "x", kAttrHidden);
  machine.AddFile("D:\\plain.txt", "12345");
  TSearchRec rec;
  ASSERT_EQ(ListFirstEntry("D:\\*.*", kAttrReadOnly | kAttrArchive, rec), 0u);  // neither folders nor hidden entries
  EXPECT_EQ(rec.name, "plain.txt");
  EXPECT_EQ(rec.size, 5);
  EXPECT_EQ(ListNextEntry(rec), static_cast<std::uint32_t>(kErrorNoMoreFiles));
  ListClose(rec);
  ListClose(rec);
  EXPECT_EQ(machine.OpenHandleCount(), 0);
  TSearchRec none;
  EXPECT_NE(ListFirstEntry("D:\\dir\\*.txt", kListAllAttributes, none), 0u);
  EXPECT_FALSE(none.search.IsOpen());
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

}  // namespace
}  // namespace vx
