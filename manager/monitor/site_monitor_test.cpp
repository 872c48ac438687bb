#include "manager/monitor/site_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "manager/monitor/site_monitor_test_fixture.h"
#include "platform/appendfile.h"
#include "platform/files.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;
using namespace std::chrono_literals;

TEST(FormatMonitorLine, OneLineLayoutPerKindOfChange) {
  struct Case {
    TFileOperation op;
    const char* expected;
  };
  const Case cases[] = {
      {foAdded, "新建 D:\\www\\a.asp 时间:2024-05-06 07:08:09"},
      {foRemoved, "删除 D:\\www\\a.asp 时间:2024-05-06 07:08:09"},
      {foModified, "修改 D:\\www\\a.asp 时间:2024-05-06 07:08:09"},
      {foRenamed, "改名 D:\\www\\a.asp [改为] D:\\www\\b.txt 时间:2024-05-06 07:08:09"},
      {foLost,
       "丢失 D:\\www\\a.asp [变更过多,部分变更未能记录,请做篡改检查] 时间:2024-05-06 07:08:09"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatMonitorLine(c.op, "D:\\www\\a.asp", c.op == foRenamed ? "D:\\www\\b.txt" : "",
                                kStamp),
              c.expected);
  }
  EXPECT_EQ(FormatMonitorStamp({2009, 12, 31, 23, 5, 0}, '.'), "2009-12-31 23.05.00");
  EXPECT_EQ(FormatMonitorStamp({2024, 1, 2, 3, 4, 5}, ':'), "2024-01-02 03:04:05");
}

TEST_F(SiteMonitorTest, ListsAndLogsMatchingChangesNewestFirst) {
  ASSERT_TRUE(monitor_.Start(site_, "*.*p*", false));
  EXPECT_EQ(page_.caption, kMonitorStopCaption);
  WriteFile(site_ + "a.txt");
  WriteFile(site_ + "shell.php");
  // The mask only needs a dot followed later by a "p" anywhere in the path.
  WriteFile(site_ + "photo.jpg");
  ASSERT_TRUE(WaitForLine(Added(site_ + "photo.jpg")));
  ASSERT_TRUE(WaitForLine(Added(site_ + "shell.php")));
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("a.txt"), std::string::npos) << l;

  // Newest first in the list, in order of arrival in the log, one CR LF line each.
  std::string expected_log;
  for (auto it = page_.lines.rbegin(); it != page_.lines.rend(); ++it) expected_log += *it + "\r\n";
  EXPECT_EQ(FileBytes(log_), expected_log);
  const auto php = std::find(page_.lines.begin(), page_.lines.end(), Added(site_ + "shell.php"));
  const auto jpg = std::find(page_.lines.begin(), page_.lines.end(), Added(site_ + "photo.jpg"));
  EXPECT_LT(jpg, php);
  EXPECT_TRUE(platform::FileExists(site_ + "shell.php"));  // not asked to delete
}

TEST_F(SiteMonitorTest, DeletesNewMatchingFilesAfterListingThem) {
  ASSERT_TRUE(monitor_.Start(site_, "*.as*,*.cer,*.inc", true));
  WriteFile(site_ + "keep.txt");
  platform::CreateDirectories(site_ + "dir.cer");  // a folder cannot be deleted so
  WriteFile(site_ + "a.cer");
  ASSERT_TRUE(WaitForLine(Added(site_ + "a.cer")));
  ASSERT_TRUE(WaitForLine(Added(site_ + "dir.cer")));
  EXPECT_FALSE(platform::FileExists(site_ + "a.cer"));
  EXPECT_TRUE(platform::DirectoryExists(site_ + "dir.cer"));
  EXPECT_TRUE(platform::FileExists(site_ + "keep.txt"));
  EXPECT_NE(FileBytes(log_).find(Added(site_ + "a.cer") + "\r\n"), std::string::npos);
}

TEST_F(SiteMonitorTest, RenamesAreTestedOnTheOldPathAndNeverDelete) {
  WriteFile(site_ + "a.txt");
  WriteFile(site_ + "b.asp");
  ASSERT_TRUE(monitor_.Start(site_, "*.asp", true));
  std::rename((site_ + "a.txt").c_str(), (site_ + "a.asp").c_str());
  std::rename((site_ + "b.asp").c_str(), (site_ + "b.txt").c_str());
  const std::string renamed = "改名 " + site_ + "b.asp [改为] " + site_ + "b.txt 时间:" + kStamp;
  ASSERT_TRUE(WaitForLine(renamed));
  std::ofstream(site_ + "a.asp", std::ios::app) << "more";
  ASSERT_TRUE(WaitForLine("修改 " + site_ + "a.asp 时间:" + kStamp));
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("a.txt [改为]"), std::string::npos) << l;
  EXPECT_TRUE(platform::FileExists(site_ + "a.asp"));
  EXPECT_TRUE(platform::FileExists(site_ + "b.txt"));
}

TEST_F(SiteMonitorTest, OwnLogInsideTheWatchedTreeDoesNotFeedItself) {
  // The manager's folder inside the site, a mask that matches the log.
  const std::string log_in_site = site_ + "Log" + Sep() + "newmonlog.txt";
  SiteMonitor monitor(loop_, ui_, page_, log_in_site,
                      [] { return platform::LocalDateTime{2024, 5, 6, 7, 8, 9}; });
  ASSERT_TRUE(monitor.Start(site_, "*.*,*Log", false));
  // Made while watching (Wine watches only subfolders made after the start).
  platform::CreateDirectories(site_ + "Log");
  ASSERT_TRUE(WaitForLine(Added(site_ + "Log")));
  WriteFile(site_ + "one.asp");
  ASSERT_TRUE(WaitForLine(Added(site_ + "one.asp")));
  WriteFile(site_ + "two.asp");
  ASSERT_TRUE(WaitForLine(Added(site_ + "two.asp")));
  // Changes come in the order they happened: once a file made after the log
  // writes above is listed, any echo of those writes would have been too.
  WriteFile(site_ + "three.asp");
  ASSERT_TRUE(WaitForLine(Added(site_ + "three.asp")));
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("newmonlog"), std::string::npos) << l;
  const std::string log = FileBytes(log_in_site);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<long>(page_.lines.size()));
  // Someone else removing the log is still worth a line.
  std::string error;
  ASSERT_TRUE(platform::RemoveFile(log_in_site, &error)) << error;
  ASSERT_TRUE(WaitForLine("删除 " + log_in_site + " 时间:" + kStamp));
}

TEST_F(SiteMonitorTest, LostChangesGiveALineWhateverTheMasks) {
  ASSERT_TRUE(monitor_.Start(site_, "*.asp", false));
  monitor_.ReportMonitorEvent(foLost, site_, "");
  const std::string line =
      "丢失 " + site_ + " [变更过多,部分变更未能记录,请做篡改检查] 时间:" + kStamp;
  ASSERT_EQ(page_.lines, std::vector<std::string>{line});
  EXPECT_EQ(FileBytes(log_), line + "\r\n");
}

TEST_F(SiteMonitorTest, LogFailureIsShownOnceAndWatchingGoesOn) {
  platform::CreateDirectories(log_);  // a folder where the log should be
  ASSERT_TRUE(monitor_.Start(site_, "*.asp", true));
  WriteFile(site_ + "a.asp");
  ASSERT_TRUE(WaitForLine(Added(site_ + "a.asp")));
  WriteFile(site_ + "b.asp");
  ASSERT_TRUE(WaitForLine(Added(site_ + "b.asp")));
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_TRUE(monitor_.running());
  EXPECT_FALSE(platform::FileExists(site_ + "b.asp"));  // still deleted
}

TEST_F(SiteMonitorTest, ButtonAsksForTheDirectoryAndStartsOrStops) {
  page_.dir_text = " \t" + tmp_.path() + "missing\r\n";
  ui_.answers = {true};
  monitor_.StartOrStop();
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0], "选择监控目录|是否使用当前[" + tmp_.path() + "missing]作为监控目录?");
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0].text, "选择的目录不存在请重试");
  EXPECT_EQ(ui_.messages[0].style, 64);
  EXPECT_FALSE(monitor_.running());
  EXPECT_EQ(page_.saves, 0);

  ui_.answers = {false};  // No, then the folder dialog is cancelled: nothing changes
  monitor_.StartOrStop();
  EXPECT_FALSE(monitor_.running());
  EXPECT_EQ(page_.dir_text, " \t" + tmp_.path() + "missing\r\n");

  ui_.answers = {false};
  ui_.chosen_files = {site_};
  monitor_.StartOrStop();
  EXPECT_TRUE(monitor_.running());
  EXPECT_EQ(page_.dir_text, site_);
  EXPECT_EQ(page_.saves, 1);
  EXPECT_EQ(page_.caption, kMonitorStopCaption);
  WriteFile(site_ + "x.php");
  ASSERT_TRUE(WaitForLine(Added(site_ + "x.php")));

  monitor_.StartOrStop();  // stop: the list keeps its lines
  EXPECT_FALSE(monitor_.running());
  EXPECT_EQ(page_.caption, kMonitorStartCaption);
  const std::vector<std::string> before = page_.lines;

  ui_.answers = {true};
  monitor_.StartOrStop();
  ASSERT_TRUE(monitor_.running());
  WriteFile(site_ + "y.php");
  ASSERT_TRUE(WaitForLine(Added(site_ + "y.php")));
  ASSERT_GT(page_.lines.size(), before.size());
  EXPECT_TRUE(std::equal(before.rbegin(), before.rend(), page_.lines.rbegin()));
  EXPECT_EQ(page_.lines.back(), Added(site_ + "x.php"));
}

}  // namespace
}  // namespace zelk::manager
