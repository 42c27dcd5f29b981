#include "engine/drive_roots.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

class DriveRootsTest : public EngineTest {
 protected:
  void PlantStartupFiles(char letter, std::uint32_t attributes = kAttrArchive) {
    machine.AddFile(std::string(1, letter) + ":\\autorun.inf", "[autorun]", attributes);
    machine.AddFile(std::string(1, letter) + ":\\setup.exe", "MZ", attributes);
  }
};

TEST_F(DriveRootsTest, DeletesBothFilesPerDriveFromTheHighestLetterDown) {
  machine.AddDrive('D', kDriveFixed);
  machine.AddDrive('Z', kDriveRemovable);
  PlantStartupFiles('C');
  PlantStartupFiles('D', kAttrReadOnly | kAttrHidden | kAttrSystem);
  PlantStartupFiles('Z');
  CleanDriveRoots();
  EXPECT_EQ(window.Log(), (std::vector<std::string>{
                              "Z:\\autorun.inf 删除成功!", "Z:\\setup.exe 删除成功!",
                              "D:\\autorun.inf 删除成功!", "D:\\setup.exe 删除成功!",
                              "C:\\autorun.inf 删除成功!", "C:\\setup.exe 删除成功!",
                          }));
  EXPECT_FALSE(machine.Exists("D:\\autorun.inf"));
}

TEST_F(DriveRootsTest, LeavesFloppiesOpticalRamDisksAndFoldersAlone) {
  machine.AddDrive('A', kDriveRemovable);
  machine.AddDrive('B', kDriveFixed);
  machine.AddDrive('F', kDriveCdrom);
  machine.AddDrive('G', kDriveRamdisk);
  for (char d : {'A', 'B', 'F', 'G'}) PlantStartupFiles(d);
  machine.AddFolder("C:\\autorun.inf");
  machine.SetTracing(true);
  CleanDriveRoots();
  EXPECT_TRUE(window.Log().empty());
  for (char d : {'A', 'B', 'F', 'G'}) EXPECT_TRUE(machine.Exists(std::string(1, d) + ":\\setup.exe"));
  EXPECT_TRUE(machine.IsFolder("C:\\autorun.inf"));
  // Only C: was touched: reset and delete, for each of the two names.
  EXPECT_EQ(TraceOf("DeleteFileA").size(), 2u);
  EXPECT_EQ(TraceOf("SetFileAttributesA").size(), 2u);
}

TEST_F(DriveRootsTest, AFailedDeletionDoesNotStopTheRest) {
  machine.AddDrive('D', kDriveFixed);
  PlantStartupFiles('C');
  PlantStartupFiles('D');
  machine.FailCall(Op::DeleteFileA, 1, kErrorSharingViolation);
  machine.FailCall(Op::SetFileAttributesA, 2, kErrorAccessDenied);
  CleanDriveRoots();
  EXPECT_EQ(window.Log(), (std::vector<std::string>{
                              "D:\\setup.exe 删除成功!", "C:\\autorun.inf 删除成功!", "C:\\setup.exe 删除成功!"}));
  EXPECT_TRUE(machine.Exists("D:\\autorun.inf"));
}

}  // namespace
}  // namespace vx
