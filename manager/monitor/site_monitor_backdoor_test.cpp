// The site monitor with the scanner's built-in rules: back doors written into
// the watched tree are found right after they are written, listed, logged
// and, with "删除新建文件" ticked, quarantined rather than deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "manager/monitor/site_monitor.h"
#include "manager/monitor/site_monitor_test_fixture.h"
#include "platform/appendfile.h"
#include "platform/files.h"
#include "scanner/quarantine.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;

// Back doors every rule set worth the name finds, and code that is not one.
const char kPhpBackdoor[] = "<?php @eval($_POST['cmd']); ?>\n";
const char kAspBackdoor[] = "<%eval request(\"x\")%>\r\n";
const char kCleanPhp[] = "<?php\necho htmlspecialchars($title);\n?>\n<p>hello</p>\n";

std::string BuiltInRules() { return std::string(ZELK_SOURCE_DIR) + "/scanner/rules"; }

void WriteBytes(const std::string& path, const std::string& bytes,
                std::ios::openmode mode = std::ios::trunc) {
  std::ofstream(path, std::ios::binary | mode) << bytes;
}

class SiteMonitorBackdoorTest : public SiteMonitorTest {
 protected:
  // The manager's folder inside the site, so that the quarantine's own files
  // appear in the watched tree.
  SiteMonitorBackdoorTest() : quarantine_(site_ + "Murrow" + Sep() + "Quarantine") {}

  bool WaitForFinding(const std::string& path) {
    return loop_.RunUntil([&] { return !FindingsFor(path).empty(); }, std::chrono::seconds(60));
  }
  std::vector<std::string> FindingsFor(const std::string& path) const {
    std::vector<std::string> found;
    for (const std::string& l : page_.lines) {
      if (l.rfind("发现Web后门 " + path + " [", 0) == 0) found.push_back(l);
    }
    return found;
  }
  bool WaitForQuarantined(std::size_t count) {
    return loop_.RunUntil([&] { return scanner::ListQuarantine(quarantine_).size() >= count; },
                          std::chrono::seconds(60));
  }
  const scanner::QuarantineEntry* Entry(const std::vector<scanner::QuarantineEntry>& all,
                                        const std::string& path) const {
    for (const auto& e : all) {
      if (e.original_path == path) return &e;
    }
    return nullptr;
  }

  std::string quarantine_;
};

TEST(FormatBackdoorLine, NamesThePathAndEveryRule) {
  EXPECT_EQ(FormatBackdoorLine("D:\\www\\a.asp", {"asp_eval_request"}, kStamp),
            "发现Web后门 D:\\www\\a.asp [asp_eval_request] 时间:2024-05-06 07:08:09");
  EXPECT_EQ(FormatBackdoorLine("D:\\www\\b.php", {"one", "two"}, kStamp),
            "发现Web后门 D:\\www\\b.php [one,two] 时间:2024-05-06 07:08:09");
}

TEST_F(SiteMonitorBackdoorTest, NewBackDoorIsListedLoggedAndQuarantinedCleanFileRaisesNothing) {
  monitor_.SetBackdoorCheck(BuiltInRules(), quarantine_);
  ASSERT_TRUE(monitor_.Start(site_, "*.*", true));
  EXPECT_GT(monitor_.backdoor_rule_count(), 0u);
  EXPECT_TRUE(page_.notices.empty()) << page_.notices[0];

  WriteBytes(site_ + "clean.php", kCleanPhp);
  WriteBytes(site_ + "shell.php", kPhpBackdoor);
  ASSERT_TRUE(WaitForFinding(site_ + "shell.php"));
  ASSERT_TRUE(WaitForQuarantined(2));
  // A later file, once quarantined, shows that the quarantine's own files
  // (which arrived before it) were neither listed nor scanned again.
  WriteBytes(site_ + "later.asp", kAspBackdoor);
  ASSERT_TRUE(WaitForFinding(site_ + "later.asp"));
  ASSERT_TRUE(WaitForQuarantined(3));

  const std::vector<std::string> shell = FindingsFor(site_ + "shell.php");
  ASSERT_EQ(shell.size(), 1u);
  EXPECT_TRUE(FindingsFor(site_ + "clean.php").empty());
  // Of the quarantine's files only the moves into it are listed (a rename,
  // where the system reports one).
  for (const auto& l : page_.lines) {
    if (l.find("Quarantine" + Sep()) != std::string::npos) {
      EXPECT_EQ(l.rfind("改名 ", 0), 0u) << l;
    }
  }
  for (const auto& l : page_.lines) EXPECT_NE(l.rfind("发现Web后门 " + quarantine_, 0), 0u) << l;
  EXPECT_NE(FileBytes(log_).find(shell[0] + "\r\n"), std::string::npos);

  // Nothing is lost: both new files are in quarantine with their bytes and
  // where they came from; the back door's record names the rules its line shows.
  const std::vector<scanner::QuarantineEntry> all = scanner::ListQuarantine(quarantine_);
  ASSERT_EQ(all.size(), 3u);
  const struct {
    const char* name;
    const char* bytes;
    bool infected;
  } expected[] = {{"shell.php", kPhpBackdoor, true},
                  {"clean.php", kCleanPhp, false},
                  {"later.asp", kAspBackdoor, true}};
  for (const auto& x : expected) {
    SCOPED_TRACE(x.name);
    EXPECT_FALSE(platform::FileExists(site_ + x.name));
    const scanner::QuarantineEntry* e = Entry(all, site_ + x.name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(FileBytes(quarantine_ + Sep() + e->id + ".bin"), x.bytes);
    EXPECT_EQ(!e->rules.empty(), x.infected);
    if (x.infected) {
      EXPECT_EQ(FindingsFor(site_ + x.name).at(0),
                "发现Web后门 " + site_ + x.name + " [" + e->rules + "] 时间:" + kStamp);
    }
  }
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(SiteMonitorBackdoorTest, ChangedAndRenamedFilesAreScannedAndLeftInPlace) {
  WriteBytes(site_ + "base.php", kCleanPhp);
  WriteBytes(site_ + "index.php", kCleanPhp);
  WriteBytes(site_ + "upload.txt", kPhpBackdoor);
  auto modified_lines = [&](const std::string& name) {
    return std::count(page_.lines.begin(), page_.lines.end(),
                      "修改 " + site_ + name + " 时间:" + kStamp);
  };

  // How many changes an append makes here, without the check; a later file,
  // once listed, shows that they all came.
  ASSERT_TRUE(monitor_.Start(site_, "*.php", true));
  WriteBytes(site_ + "base.php", kCleanPhp, std::ios::app);
  WriteBytes(site_ + "mark1.php", kCleanPhp);
  ASSERT_TRUE(WaitForLine(Added(site_ + "mark1.php")));
  const long appended = modified_lines("base.php");
  ASSERT_GE(appended, 1);
  monitor_.Stop();

  monitor_.SetBackdoorCheck(BuiltInRules(), quarantine_);
  ASSERT_TRUE(monitor_.Start(site_, "*.php", true));
  // A back door added to a page that was clean.
  WriteBytes(site_ + "index.php", kPhpBackdoor, std::ios::app);
  ASSERT_TRUE(WaitForFinding(site_ + "index.php"));
  // Renamed to a script name: the old name decides the line, the new one the scan.
  std::rename((site_ + "upload.txt").c_str(), (site_ + "up.php").c_str());
  ASSERT_TRUE(WaitForFinding(site_ + "up.php"));
  WriteBytes(site_ + "mark2.php", kCleanPhp);
  ASSERT_TRUE(WaitForLine(Added(site_ + "mark2.php")));

  EXPECT_EQ(FindingsFor(site_ + "index.php").size(), 1u);
  // The scan's own reading (the access time it sets) is no change to list.
  EXPECT_EQ(modified_lines("index.php"), appended);
  EXPECT_EQ(FileBytes(site_ + "index.php"), std::string(kCleanPhp) + kPhpBackdoor);
  EXPECT_TRUE(platform::FileExists(site_ + "up.php"));
  // Only the new file goes to quarantine (it may still be on its way).
  for (const auto& e : scanner::ListQuarantine(quarantine_)) {
    EXPECT_EQ(e.original_path, site_ + "mark2.php");
  }
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("upload.txt"), std::string::npos) << l;
}

TEST_F(SiteMonitorBackdoorTest, WithoutUsableRulesTheMonitorSaysSoOnceAndWorksAsBefore) {
  const std::string broken = tmp_.path() + "broken";
  ASSERT_TRUE(platform::CreateDirectories(broken));
  WriteBytes(broken + Sep() + "bad.yar", "rule bad {\n  condition:\n    nonsense(\n}\n");
  const struct {
    std::string dir;
    std::vector<std::string> notice_parts;
  } cases[] = {
      {tmp_.path() + "missing", {"找不到Web后门规则目录 " + tmp_.path() + "missing"}},
      {broken, {"bad.yar:", "没有可用的Web后门规则"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    page_.notices.clear();
    monitor_.SetBackdoorCheck(c.dir, quarantine_);
    ASSERT_TRUE(monitor_.Start(site_, "*.asp", true));
    EXPECT_EQ(monitor_.backdoor_rule_count(), 0u);
    ASSERT_EQ(page_.notices.size(), c.notice_parts.size());
    for (std::size_t i = 0; i < c.notice_parts.size(); ++i) {
      EXPECT_NE(page_.notices[i].find(c.notice_parts[i]), std::string::npos) << page_.notices[i];
    }
    // Deleted at once, as without the scanner.
    const std::string file = site_ + "x" + std::to_string(&c - cases) + ".asp";
    WriteBytes(file, kAspBackdoor);
    ASSERT_TRUE(WaitForLine(Added(file)));
    EXPECT_FALSE(platform::FileExists(file));
    monitor_.Stop();
  }
  EXPECT_FALSE(platform::DirectoryExists(quarantine_));
  for (const auto& l : page_.lines) EXPECT_EQ(l.find("发现Web后门"), std::string::npos) << l;
  EXPECT_EQ(page_.notices.size(), 2u);  // nothing more while watching
}

}  // namespace
}  // namespace zelk::manager
