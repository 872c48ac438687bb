// The site monitor over a web root with symbolic links that loop or lead out
// of the tree (Linux): watching starts and stops without hanging, and a change
// outside the tree, reached through a link, is never reported.
#include <unistd.h>

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
