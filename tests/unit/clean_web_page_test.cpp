#include <gtest/gtest.h>

#include <string>

#include "engine/clean_web_page.h"
#include "tests/unit/engine_fixture.h"

namespace vx {
namespace {

class CleanWebPageTest : public EngineTest {
 protected:
  std::string P() { return window.pattern; }
  // Cleans one page holding bytes and returns what it holds afterwards.
  std::string Clean(const std::string& bytes) {
    machine.AddFile("C:\\www\\index.htm", bytes);
    CleanWebPage("C:\\www\\index.htm");
    return machine.FileBytes("C:\\www\\index.htm");
  }
  const std::string kLine = "C:\\www\\index.htm 网页还原成功!";
};

TEST_F(CleanWebPageTest, RemovesTheFirstCopyByteExactAndLogsThePage) {
  EXPECT_EQ(Clean(P()), "");
  EXPECT_TRUE(machine.Exists("C:\\www\\index.htm"));
  EXPECT_EQ(Clean(P() + "<html>"), "<html>");
  EXPECT_EQ(Clean("</html>" + P()), "</html>");
  EXPECT_EQ(Clean(std::string("a\0", 2) + P() + std::string("\0b", 2)), std::string("a\0\0b", 4));
  EXPECT_EQ(window.Log(), std::vector<std::string>(4, kLine));
  EXPECT_EQ(machine.ListNames("C:\\www"), std::vector<std::string>{"index.htm"});
  EXPECT_EQ(machine.OpenHandleCount(), 0);
}

TEST_F(CleanWebPageTest, OnlyTheFirstCopyGoesAndJoinedHalvesAreNotSearchedAgain) {
  EXPECT_EQ(Clean("a" + P() + "b" + P() + "c"), "ab" + P() + "c");
  CleanWebPage("C:\\www\\index.htm");  // the next scan takes the next copy
  EXPECT_EQ(machine.FileBytes("C:\\www\\index.htm"), "abc");
  window.pattern = "abc";
  EXPECT_EQ(Clean("aabcbc"), "abc");
  EXPECT_EQ(window.Log().size(), 3u);
}

TEST_F(CleanWebPageTest, PagesWithoutTheExactPatternAreNeverOpenedForWriting) {
  std::string upper = P();
  upper.replace(1, 6, "IFRAME");
  window.pattern = P();
  for (const std::string& page : {upper, std::string("<html></html>"), std::string()}) {
    machine.ResetCallCounts();
    EXPECT_EQ(Clean(page), page);
    EXPECT_LE(machine.CallCount(Op::CreateFileA), 1);  // the read only
    EXPECT_EQ(machine.CallCount(Op::WriteFile), 0);
  }
  window.pattern = "";
  EXPECT_EQ(Clean("anything"), "anything");
  EXPECT_EQ(machine.LastWriteTime("C:\\www\\index.htm"), MemoryPlatform::kDefaultTime);
  EXPECT_TRUE(window.Log().empty());
}

TEST_F(CleanWebPageTest, ReadsThePatternOnceAfterTheFile) {
  machine.AddFile("C:\\a.htm", "x" + P());
  int opensAtPattern = -1;
  window.onOp = [&](const std::string& op) {
    if (op == "pattern") opensAtPattern = machine.CallCount(Op::CreateFileA);
  };
  CleanWebPage("C:\\a.htm");
  CleanWebPage("C:\\missing.htm");
  EXPECT_EQ(opensAtPattern, 3);  // the read of the second file came before its pattern
  EXPECT_EQ(window.Ops(), (std::vector<std::string>{"pattern", "log C:\\a.htm 网页还原成功!", "pattern"}));
}

}  // namespace
}  // namespace vx
