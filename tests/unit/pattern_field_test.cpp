#include <string>
#include <vector>

#include "engine/scan_tree.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

// The user clears Edit2 and types a new pattern key by key while the walk goes
// through a folder of pages, one keystroke per page, then presses Enter. Each
// page holds the new frame and then the old one, so a cut with any piece of
// the new pattern typed so far would damage it.
TEST_F(EngineTest, PagesAreCutOnlyWithAPatternTheUserHasFinishedTyping) {
  const std::string oldFrame = window.pattern;
  const std::string newFrame = "<iframe src=http://other.invalid/x.htm width=0 height=0></iframe>";
  const int kBeforeTyping = 3, kAfterEnter = 4;
  const int pages = kBeforeTyping + static_cast<int>(newFrame.size()) + 1 + kAfterEnter;
  auto name = [](int i) { return "D:\\web\\p" + std::to_string(1000 + i) + ".htm"; };
  machine.AddDrive('D', kDriveFixed);
  for (int i = 0; i < pages; ++i) machine.AddFile(name(i), "A" + newFrame + "B" + oldFrame + "C");

  int shown = 0;
  window.onOp = [&](const std::string& op) {
    if (op.rfind("file ", 0) != 0) return;
    int typed = shown++ - kBeforeTyping;
    if (typed >= 0 && typed < static_cast<int>(newFrame.size())) window.pattern.Edited(newFrame.substr(0, typed + 1));
    if (typed == static_cast<int>(newFrame.size())) window.pattern.Settle();  // Enter
  };
  ScanTree("D:\\");

  ASSERT_EQ(shown, pages);
  const int firstWithNewFrame = kBeforeTyping + static_cast<int>(newFrame.size());
  for (int i = 0; i < pages; ++i) {
    std::string expected = i < firstWithNewFrame ? "A" + newFrame + "BC" : "AB" + oldFrame + "C";
    EXPECT_EQ(machine.FileBytes(name(i)), expected) << name(i);
  }
  EXPECT_EQ(LogWith("网页还原成功!").size(), static_cast<std::size_t>(pages));
}

}  // namespace
}  // namespace vx
