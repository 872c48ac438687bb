// A scan on its worker thread, as the window starts it: built-in rules plus a
// user folder with a broken rule, planted back doors among clean files; the
// findings, the rule error and the log lines come out; Stop ends a scan early
// and the summary says so; with no usable rule nothing is scanned.
#include "scanner/murrow/scan_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "platform/files.h"
#include "scanner/murrow/murrow_core.h"
#include "testing/files.h"

namespace zelk::scanner::murrow {
namespace {

const std::string kSep(1, platform::PathSeparator());
constexpr int kTimeoutMs = 60000;

std::string BuiltInRules() { return std::string(ZELK_SOURCE_DIR) + "/scanner/rules"; }

platform::LocalDateTime FixedClock() { return {2026, 12, 9, 19, 30, 0}; }

void Write(const std::string& path, const std::string& bytes) {
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(path, bytes, &error)) << error;
}

int CountLines(const std::string& text, const std::string& prefix) {
  int n = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text.compare(at, prefix.size(), prefix) == 0) ++n;
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return n;
}

class ScanJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = dir_.path() + "www" + kSep;
    user_rules_ = dir_.path() + "myrules" + kSep;
    log_ = dir_.path() + "MurrowLog.txt";
    ASSERT_TRUE(platform::CreateDirectories(site_ + "up"));
    ASSERT_TRUE(platform::CreateDirectories(user_rules_));
    Write(site_ + "index.asp", "<%response.write \"hello\"%>");
    Write(site_ + "up" + kSep + "x.asp", "<%eval request(\"x\")%>");
    Write(site_ + "shell.php", "<?php eval($_POST['x']);?>");
    Write(site_ + "readme.txt", "nothing to see");
    Write(user_rules_ + "mine.yar",
          "rule user_marker { strings: $a = \"zelk-test-marker\" condition: $a }\n");
    Write(user_rules_ + "bad.yar", "rule broken {\n  condition:\n    $missing\n}\n");
    Write(site_ + "marked.asp", "<% ' zelk-test-marker %>");
  }

  ScanRequest Request() const {
    ScanRequest r;
    r.rule_dirs = {BuiltInRules(), user_rules_};
    r.folder = site_;
    r.log_path = log_;
    r.options.jobs = 2;
    return r;
  }

  testing::TempDir dir_;
  std::string site_, user_rules_, log_;
};

TEST_F(ScanJobTest, FindsPlantedBackDoorsLogsThemAndReportsTheBrokenUserRule) {
  std::atomic<int> notices{0};
  ScanJob job(
      Request(), [&] { ++notices; }, FixedClock);
  ASSERT_TRUE(job.WaitFinished(kTimeoutMs));

  const ScanStatus s = job.Status();
  EXPECT_TRUE(s.finished);
  EXPECT_FALSE(s.no_rules);
  EXPECT_FALSE(s.totals.cancelled);
  EXPECT_EQ(s.totals.infected, 3u);
  EXPECT_EQ(s.totals.files_scanned, 4u);  // the .txt is no script
  EXPECT_GT(s.rule_count, 1u);
  EXPECT_EQ(s.log_error, "");
  EXPECT_GE(notices.load(), 2);

  std::vector<Finding> found = job.TakeFindings();
  ASSERT_EQ(found.size(), 3u);
  EXPECT_TRUE(job.TakeFindings().empty());
  std::sort(found.begin(), found.end(),
            [](const Finding& a, const Finding& b) { return a.path < b.path; });
  EXPECT_EQ(found[0].path, site_ + "marked.asp");
  EXPECT_EQ(found[0].rules, std::vector<std::string>{"user_marker"});
  EXPECT_EQ(found[1].path, site_ + "shell.php");
  EXPECT_EQ(found[2].path, site_ + "up" + kSep + "x.asp");
  for (const Finding& f : found) {
    EXPECT_FALSE(f.rules.empty()) << f.path;
    EXPECT_GT(f.size, 0u);
    EXPECT_GT(f.last_write_time, 0u) << f.path;
  }

  const std::vector<CompileError> errors = job.TakeRuleErrors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].file.find("bad.yar"), std::string::npos) << errors[0].file;
  EXPECT_EQ(errors[0].line, 3);
  EXPECT_TRUE(job.TakeRuleErrors().empty());

  const std::string log = testing::FileBytes(log_);
  EXPECT_EQ(CountLines(log, "规则错误 "), 1) << log;
  EXPECT_EQ(CountLines(log, "开始扫描 " + site_ + " [规则"), 1) << log;
  EXPECT_EQ(CountLines(log, "发现Web后门 "), 3) << log;
  EXPECT_EQ(CountLines(log, "扫描完成 " + site_ + " [检查文件4个"), 1) << log;
  EXPECT_NE(
      log.find(FindingLine(found[1].path, found[1].rules, found[1].size, "2026-12-09 19:30:00")),
      std::string::npos)
      << log;
  // Start first, summary last.
  EXPECT_LT(log.find("开始扫描"), log.find("发现Web后门"));
  EXPECT_GT(log.rfind("扫描完成"), log.rfind("发现Web后门"));
}

TEST_F(ScanJobTest, StopEndsTheScanAndTheSummarySaysItWasStopped) {
  for (int i = 0; i < 50; ++i) Write(site_ + "p" + std::to_string(i) + ".asp", "<% x %>");
  ScanRequest r = Request();
  r.options.jobs = 1;
  ScanJob* self = nullptr;
  std::atomic<bool> ready{false};
  // Stopped at its first notice, when the rules are loaded and no file has
  // been looked at.
  ScanJob job(r, [&] {
    while (!ready.load()) std::this_thread::yield();
    self->Stop();
  });
  self = &job;
  ready.store(true);
  ASSERT_TRUE(job.WaitFinished(kTimeoutMs));
  const ScanStatus s = job.Status();
  EXPECT_TRUE(s.totals.cancelled);
  EXPECT_LT(s.totals.files_scanned, 54u);
  const std::string log = testing::FileBytes(log_);
  EXPECT_EQ(CountLines(log, "扫描中止 " + site_), 1) << log;
  EXPECT_EQ(CountLines(log, "扫描完成 "), 0) << log;
}

TEST_F(ScanJobTest, WithoutAnyUsableRuleNothingIsScanned) {
  const std::string empty = dir_.path() + "norules";
  ASSERT_TRUE(platform::CreateDirectories(empty));
  ScanRequest r = Request();
  r.rule_dirs = {empty};
  ScanJob job(r, nullptr, FixedClock);
  ASSERT_TRUE(job.WaitFinished(kTimeoutMs));
  const ScanStatus s = job.Status();
  EXPECT_TRUE(s.no_rules);
  EXPECT_EQ(s.totals.files_scanned, 0u);
  EXPECT_TRUE(job.TakeFindings().empty());
  EXPECT_EQ(testing::FileBytes(log_), NoRulesLine("2026-12-09 19:30:00") + "\r\n");
}

}  // namespace
}  // namespace zelk::scanner::murrow
