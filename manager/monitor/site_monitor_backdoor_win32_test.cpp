// The back-door check and a file its writer still holds (Windows): the system
// refuses to open the file while the writer shares it with nobody, so the
// check must try again once it is let go, scan it and quarantine it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "manager/monitor/site_monitor.h"
#include "manager/monitor/site_monitor_test_fixture.h"
#include "platform/appendfile.h"
#include "scanner/quarantine.h"

namespace zelk::manager {
namespace {

class SiteMonitorHeldFileTest : public SiteMonitorTest {};

TEST_F(SiteMonitorHeldFileTest, AFileHeldByItsWriterIsScannedAndQuarantinedOnceLetGo) {
  const std::string quarantine = tmp_.path() + "Quarantine";
  monitor_.SetBackdoorCheck(std::string(ZELK_SOURCE_DIR) + "/scanner/rules", quarantine);
  ASSERT_TRUE(monitor_.Start(site_, "*.php", true));

  const std::string held = site_ + "held.php";
  HANDLE h = CreateFileA(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::string backdoor = "<?php @eval($_POST['cmd']); ?>\n";
  DWORD written = 0;
  ASSERT_TRUE(
      ::WriteFile(h, backdoor.data(), static_cast<DWORD>(backdoor.size()), &written, nullptr));
  // Written after the held file, so due after it: once its finding is in, the
  // held file has been tried (one file at a time, in order of due time).
  std::ofstream(site_ + "other.php", std::ios::binary) << backdoor;
  const auto finding = [&](const std::string& path) {
    return std::find_if(page_.lines.begin(), page_.lines.end(), [&](const std::string& l) {
      return l.rfind("发现Web后门 " + path + " [", 0) == 0;
    });
  };
  ASSERT_TRUE(loop_.RunUntil([&] { return finding(site_ + "other.php") != page_.lines.end(); },
                             std::chrono::seconds(60)));
  EXPECT_EQ(finding(held), page_.lines.end());
  EXPECT_TRUE(platform::FileExists(held));

  CloseHandle(h);
  ASSERT_TRUE(loop_.RunUntil(
      [&] {
        const auto all = scanner::ListQuarantine(quarantine);
        return finding(held) != page_.lines.end() &&
               std::any_of(all.begin(), all.end(), [&](const scanner::QuarantineEntry& e) {
                 return e.original_path == held;
               });
      },
      std::chrono::seconds(60)));
  EXPECT_LT(finding(held), finding(site_ + "other.php"));  // newer: listed above
  EXPECT_FALSE(platform::FileExists(held));
  EXPECT_TRUE(ui_.errors.empty());
}

}  // namespace
}  // namespace zelk::manager
