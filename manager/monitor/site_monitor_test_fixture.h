// What the site monitor's tests share: a monitor page that records what it is
// shown, and a fixture with a web root, a monitor log and a fixed clock.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "manager/monitor/site_monitor.h"
#include "platform/files.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {

inline const std::string kStamp = "2024-05-06 07:08:09";

class FakePage : public MonitorPage {
 public:
  std::string dir_text, mask_text = "*.*p*";
  bool delete_new = false;
  std::string caption = kMonitorStartCaption;
  std::vector<std::string> lines;  // top first, as the list shows them
  std::vector<std::string> notices;
  int saves = 0;

  std::string MonitorDirText() override { return dir_text; }
  void SetMonitorDirText(const std::string& dir) override { dir_text = dir; }
  std::string MonitorMaskText() override { return mask_text; }
  bool DeleteNewFilesChecked() override { return delete_new; }
  void SetMonitorButtonCaption(const std::string& c) override { caption = c; }
  void InsertMonitorLine(const std::string& line) override { lines.insert(lines.begin(), line); }
  void SaveMonitorSettings() override { ++saves; }
  void ShowMonitorNotice(const std::string& text) override { notices.push_back(text); }
};

inline void WriteFile(const std::string& path) {
  std::ofstream(path, std::ios::binary) << "<%eval%>";
}

inline std::string Sep() { return std::string(1, platform::PathSeparator()); }

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
        std::chrono::seconds(30));
  }

  static std::string Added(const std::string& path) { return "新建 " + path + " 时间:" + kStamp; }

  testing::TempDir tmp_;
  std::string site_, log_;
  EventLoop loop_;
  testing::FakeUi ui_;
  FakePage page_;
  SiteMonitor monitor_;
};

}  // namespace zelk::manager
