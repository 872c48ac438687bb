// The site monitor over a web root with symbolic links that loop or lead out
// of the tree (Linux): watching starts and stops without hanging, and a change
// outside the tree, reached through a link, is never reported.
#include <unistd.h>

#include "manager/monitor/site_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "platform/appendfile.h"
#include "platform/files.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;
using namespace std::chrono_literals;

const std::string kStamp = "2024-05-06 07:08:09";

class FakePage : public MonitorPage {
 public:
  std::string dir_text, mask_text = "*.*p*";
  bool delete_new = false;
  std::string caption = kMonitorStartCaption;
  std::vector<std::string> lines;  // top first, as the list shows them
  int saves = 0;

  std::string MonitorDirText() override { return dir_text; }
  void SetMonitorDirText(const std::string& dir) override { dir_text = dir; }
  std::string MonitorMaskText() override { return mask_text; }
  bool DeleteNewFilesChecked() override { return delete_new; }
  void SetMonitorButtonCaption(const std::string& c) override { caption = c; }
  void InsertMonitorLine(const std::string& line) override { lines.insert(lines.begin(), line); }
  void SaveMonitorSettings() override { ++saves; }
};

void WriteFile(const std::string& path) { std::ofstream(path, std::ios::binary) << "<%eval%>"; }

std::string Sep() { return std::string(1, platform::PathSeparator()); }

class SiteMonitorTest : public ::testing::Test {
 protected:
  SiteMonitorTest()
      : site_(tmp_.path() + "www" + Sep()),
        log_(tmp_.path() + "newmonlog.txt"),
        monitor_(loop_, ui_, page_, log_,
                 [] { return platform::LocalDateTime{2024, 5, 6, 7, 8, 9}; }) {
    platform::CreateDirectories(site_);
  }

  bool WaitForLine(const std::string& line) {
    return loop_.RunUntil(
        [&] {
          return std::find(page_.lines.begin(), page_.lines.end(), line) != page_.lines.end();
        },
        30s);
  }

  static std::string Added(const std::string& path) { return "新建 " + path + " 时间:" + kStamp; }

  TempDir tmp_;
  std::string site_, log_;
  EventLoop loop_;
  testing::FakeUi ui_;
  FakePage page_;
  SiteMonitor monitor_;
};

// Its own suite name: GoogleTest ties a suite to one fixture class.
class SiteMonitorLinkTest : public SiteMonitorTest {};

TEST_F(SiteMonitorLinkTest, LinksThatLoopOrLeaveTheTreeAreNotFollowed) {
  const std::string outside = tmp_.path() + "outside";
  ASSERT_TRUE(platform::CreateDirectories(outside + "/deeper"));
  ASSERT_TRUE(platform::CreateDirectories(site_ + "sub"));
  ASSERT_EQ(::symlink(site_.c_str(), (site_ + "sub/loop").c_str()), 0);
  ASSERT_EQ(::symlink("self", (site_ + "self").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (site_ + "out").c_str()), 0);

  ASSERT_TRUE(monitor_.Start(site_, "*.*p*", false));
  WriteFile(outside + "/deeper/outside.php");  // first: it would arrive first
  WriteFile(site_ + "sub/inside.php");
  ASSERT_TRUE(WaitForLine(Added(site_ + "sub/inside.php")));
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("outside.php"), std::string::npos) << l;
  monitor_.Stop();
  EXPECT_EQ(page_.caption, kMonitorStartCaption);
}

}  // namespace
}  // namespace zelk::manager
