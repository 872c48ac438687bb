// Tamper check and snapshot comparison over real files.
#include "manager/snapshot/tamper_check.h"

#include <gtest/gtest.h>

#include "manager/snapshot/snapshot.h"
#include "platform/text.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;

constexpr std::uint64_t kJune1 = (1622548800ULL + 11644473600ULL) * 10000000ULL;
constexpr std::uint64_t kSecond = 10000000ULL;

class TamperCheckTest : public ::testing::Test {
 protected:
  std::string Make(const std::string& name, const std::string& bytes = "x") {
    const std::string path = site_ + name;
    std::string error;
    EXPECT_TRUE(platform::WriteWholeFile(path, bytes, &error)) << error;
    EXPECT_TRUE(platform::SetLastWriteTime(path, kJune1, &error)) << error;
    return path;
  }
  void Extract(bool overwrite = true) {
    ui_.answers = {overwrite};
    RunSnapshotExtraction({site_, snapshot_, "*.asp", 1}, ui_);
  }
  FindingsOutcome Check() { return RunTamperCheck(snapshot_, log_, ui_); }
  std::vector<std::string> LogLines() { return SplitLines(FileBytes(log_)); }

  TempDir dir_;
  const std::string site_ = [this] {
    const std::string s = dir_.path() + "site" + platform::PathSeparator();
    platform::CreateDirectories(s);
    return s;
  }();
  const std::string snapshot_ = dir_.path() + "snap.txt";
  const std::string log_ = dir_.path() + "newlog.txt";
  testing::FakeUi ui_;
};

TEST_F(TamperCheckTest, AnUnchangedTreeHasNoFindings) {
  Make("a.asp");
  Make("b,c.asp");  // a comma in the path reads back whole
  Extract();
  const FindingsOutcome out = Check();
  EXPECT_EQ(out.findings, 0);
  EXPECT_EQ(FileBytes(log_), "");
  EXPECT_EQ(ui_.statuses.back(), "校验完成,共发现文件被篡改 0 个.");
  EXPECT_TRUE(ui_.opened.empty());
}

TEST_F(TamperCheckTest, FindsModifiedDeletedAndReplacedByFolderFiles) {
  const std::string touched = Make("touched.asp");
  const std::string grown = Make("grown.asp", "abc");
  const std::string deleted = Make("deleted.asp");
  const std::string folder = Make("folder.asp");
  const std::string kept = Make("kept,1.asp");
  Extract();
  std::string error;
  ASSERT_TRUE(platform::SetLastWriteTime(touched, kJune1 + kSecond, &error));
  ASSERT_TRUE(platform::WriteWholeFile(grown, "abcd", &error));
  ASSERT_TRUE(platform::SetLastWriteTime(grown, kJune1, &error));
  ASSERT_TRUE(platform::RemoveFile(deleted, &error));
  ASSERT_TRUE(platform::RemoveFile(folder, &error));
  ASSERT_TRUE(platform::CreateDirectories(folder));

  const FindingsOutcome out = Check();
  EXPECT_EQ(out.findings, 4);
  std::vector<std::string> log = LogLines();
  std::sort(log.begin(), log.end());
  std::vector<std::string> expected = {"文件已经被修改" + touched, "文件已经被修改" + grown,
                                       "文件已经被删除" + deleted, "文件已经被删除" + folder};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(log, expected);
  EXPECT_EQ(out.log_lines.size(), 4u);
  EXPECT_EQ(ui_.statuses.back(), "校验完成,共发现文件被篡改 4 个.");
  EXPECT_EQ(ui_.opened, std::vector<std::string>{log_});
  (void)kept;
}

TEST_F(TamperCheckTest, BlankLinesAndRepeatedExtractionsCountEveryTime) {
  const std::string gone = Make("gone.asp");
  Extract();
  Extract(false);  // append a second extraction of the same tree
  std::string error;
  ASSERT_TRUE(platform::AppendToFile(snapshot_, "\r\n", &error));
  ASSERT_TRUE(platform::RemoveFile(gone, &error));
  EXPECT_EQ(Check().findings, 3);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"文件已经被删除" + gone, "文件已经被删除" + gone,
                                                  "文件已经被删除"}));
  EXPECT_EQ(Check().findings, 3);  // a second check appends again
  EXPECT_EQ(LogLines().size(), 6u);
}

TEST_F(TamperCheckTest, BuildSnapshotLineComparesTheWholeLine) {
  const std::string a = Make("a.asp");
  Extract();
  const std::string line = SplitLines(FileBytes(snapshot_)).at(0);
  EXPECT_TRUE(BuildSnapshotLine(a, line));
  EXPECT_FALSE(BuildSnapshotLine(a, line + " "));
  EXPECT_FALSE(BuildSnapshotLine(a + "x", line));
}

TEST_F(TamperCheckTest, AnUnreadableSnapshotEndsTheCheckBeforeAnyFinding) {
  const FindingsOutcome out = RunTamperCheck(dir_.path() + "missing.txt", log_, ui_);
  EXPECT_TRUE(out.failed);
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.errors[0].rfind("Cannot open file \"" + dir_.path() + "missing.txt\". ", 0), 0u);
  EXPECT_TRUE(ui_.statuses.empty());
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(log_, &e));
}

TEST_F(TamperCheckTest, ALogThatCannotBeWrittenEndsTheCheckAtThatLine) {
  Make("a.asp");
  Extract();
  std::string error;
  ASSERT_TRUE(platform::RemoveFile(site_ + "a.asp", &error));
  const std::size_t statuses = ui_.statuses.size();
  const FindingsOutcome out = RunTamperCheck(snapshot_, site_, ui_);  // the log path is a folder
  EXPECT_TRUE(out.failed);
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.statuses.size(), statuses);  // the label keeps its text
}

TEST(NewSnapshotLines, ReportsLinesOnlyTheNewerSnapshotHolds) {
  const std::vector<std::string> older = {"D:\\b.asp,1,t,t", "D:\\GONE.asp,1,t,t",
                                          "D:\\c.asp,1,t,t"};
  const std::vector<std::string> newer = {
      "D:\\new2.asp,1,t,t", "D:\\B.ASP,1,T,T",  // equal ignoring case
      "D:\\c.asp,2,t,t",                        // changed size
      "no comma",           "D:\\New1.asp,1,t,t", "D:\\new2.asp,1,t,t"};
  EXPECT_EQ(NewSnapshotLines(newer, older),
            (std::vector<std::string>{"D:\\c.asp,2,t,t", "D:\\New1.asp,1,t,t", "D:\\new2.asp,1,t,t",
                                      "D:\\new2.asp,1,t,t"}));
  EXPECT_TRUE(NewSnapshotLines(older, older).empty());
  EXPECT_TRUE(NewSnapshotLines({}, older).empty());
}

class CompareTest : public ::testing::Test {
 protected:
  std::string Snapshot(const std::string& name, const std::string& text) {
    const std::string path = dir_.path() + name;
    std::string error;
    EXPECT_TRUE(platform::WriteWholeFile(path, text, &error)) << error;
    return path;
  }
  TempDir dir_;
  const std::string log_ = dir_.path() + "newlog.txt";
  testing::FakeUi ui_;
};

TEST_F(CompareTest, TheSameFileTwiceFindsNothing) {
  const std::string s = Snapshot("s.txt", "D:\\a.asp,1,t,t\r\n");
  const FindingsOutcome out = CompareSnapshotFiles(s, s, log_, ui_);
  EXPECT_EQ(out.findings, 0);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].caption, "操作已完成");
  EXPECT_EQ(ui_.messages[0].text, "快照文件对比完成未发现可疑项");
  EXPECT_EQ(ui_.messages[0].style, 64);
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(log_, &e));
}

TEST_F(CompareTest, NewLinesGoToTheTamperLogWithTheirWholePath) {
  const std::string older = Snapshot("old.txt", "D:\\a.asp,1,t,t\r\n");
  const std::string newer =
      Snapshot("new.txt", "D:\\a.asp,1,t,t\r\nD:\\x,y.asp,1,t,t\nD:\\b.asp,1,t,t");
  const FindingsOutcome out = CompareSnapshotFiles(newer, older, log_, ui_);
  EXPECT_EQ(out.findings, 2);
  EXPECT_EQ(FileBytes(log_), "新建的文件D:\\b.asp\r\n新建的文件D:\\x,y.asp\r\n");
  EXPECT_EQ(ui_.opened, std::vector<std::string>{log_});
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(CompareTest, AnUnreadableFileWritesNothing) {
  const std::string newer = Snapshot("new.txt", "D:\\b.asp,1,t,t\r\n");
  const FindingsOutcome out = CompareSnapshotFiles(newer, dir_.path() + "missing.txt", log_, ui_);
  EXPECT_TRUE(out.failed);
  EXPECT_EQ(ui_.errors.size(), 1u);
  platform::DirEntry e;
  EXPECT_FALSE(platform::FindFile(log_, &e));
}

TEST_F(CompareTest, TheWindowProcedureAsksThenLetsTheUserChooseBothFiles) {
  const std::string older = Snapshot("old.txt", "D:\\a.asp,1,t,t\r\n");
  const std::string newer = Snapshot("new.txt", "D:\\b.asp,1,t,t\r\n");

  EXPECT_EQ(RunSnapshotComparison(log_, ui_).findings, 0);  // answered No
  EXPECT_EQ(ui_.questions,
            std::vector<std::string>{"快照对比可发现网站新建的文件|快照对比功能需提供2个相同规则"
                                     "不同时间制作的快照文件 是否继续"});
  EXPECT_TRUE(ui_.messages.empty());
  EXPECT_TRUE(ui_.dialog_titles.empty());

  ui_.answers = {true};  // cancel the first dialog
  EXPECT_EQ(RunSnapshotComparison(log_, ui_).findings, 0);
  ui_.answers = {true};  // cancel the second
  ui_.chosen_files = {newer};
  EXPECT_EQ(RunSnapshotComparison(log_, ui_).findings, 0);
  ASSERT_EQ(ui_.messages.size(), 2u);
  EXPECT_EQ(ui_.messages[1].text, "快照文件对比完成未发现可疑项");

  ui_.answers = {true};
  ui_.chosen_files = {newer, older};
  EXPECT_EQ(RunSnapshotComparison(log_, ui_).findings, 1);
  EXPECT_EQ(FileBytes(log_), "新建的文件D:\\b.asp\r\n");
  EXPECT_EQ(ui_.dialog_titles,
            (std::vector<std::string>{"请选择最新的快照文件", "请选择最新的快照文件",
                                      "请选择需要对比的快照文件", "请选择最新的快照文件",
                                      "请选择需要对比的快照文件"}));
}

}  // namespace
}  // namespace zelk::manager
