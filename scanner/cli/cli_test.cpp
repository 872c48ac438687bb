// zelkwaf-scan end to end: the built program (with the built-in rules copied
// beside it) run through /bin/sh on planted files in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "platform/files.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace {

namespace platform = zelk::platform;
using zelk::testing::ProgramRun;
using zelk::testing::ShellQuote;

class ScanCli : public ::testing::Test {
 protected:
  ScanCli() { platform::CreateDirectories(site_); }
  ProgramRun Scan(const std::string& args, const std::string& locale = "C.UTF-8") {
    return zelk::testing::RunProgram(ZELKWAF_SCAN_EXE, args, dir_.path(), locale);
  }
  std::string Make(const std::string& gbk_name, const std::string& bytes) {
    std::string error;
    const std::size_t slash = gbk_name.rfind('/');
    if (slash != std::string::npos) platform::CreateDirectories(site_ + gbk_name.substr(0, slash));
    EXPECT_TRUE(platform::WriteWholeFile(site_ + gbk_name, bytes, &error)) << error;
    return site_ + gbk_name;
  }

  zelk::testing::TempDir dir_;
  const std::string site_ = dir_.path() + "site/";
};

TEST_F(ScanCli, PrintsFindingsAndCleanFilesAndExitsOneWhenSomethingIsFound) {
  Make("shell.php", "<?php @eval($_POST['pass']);?>");
  Make("up/x.asp;.jpg", "<%eval request(\"a\")%>");
  Make("index.php", "<?php echo 'hello'; ?>");
  Make("readme.txt", "plain");
  // A GBK name, printed as UTF-8 on a UTF-8 terminal.
  const std::string gbk_name = "\xcd\xf8\xd5\xbe.php";  // 网站.php
  Make(gbk_name, "<?php echo 1;");
  const ProgramRun r = Scan("--list --jobs 1 " + ShellQuote(site_));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  // The one-liner meets several rules; the line names the first of them.
  EXPECT_NE(r.out.find("infected\t" + site_ + "shell.php\tphp_eval_request_input"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("infected\t" + site_ + "up/x.asp;.jpg\tasp_eval_request_input\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("clean\t" + site_ + "index.php\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("clean\t" + site_ + u8"网站.php\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("readme.txt"), std::string::npos) << r.out;
  // The summary, and no progress line when standard error is not a terminal.
  EXPECT_NE(r.err.find(u8"检查了 4 个文件"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(u8"发现后门 2 个"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\r'), std::string::npos);

  const ProgramRun quiet = Scan(ShellQuote(site_ + "index.php"));
  EXPECT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");
}

TEST_F(ScanCli, UserRuleFoldersAddRulesAndABrokenOneIsReported) {
  const std::string rules = dir_.path() + "myrules/";
  platform::CreateDirectories(rules);
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(
      rules + "mine.yar", "rule my_marker { strings: $m = \"zz-marker-zz\" condition: $m }",
      &error));
  ASSERT_TRUE(
      platform::WriteWholeFile(rules + "broken.yar", "rule x {\n condition: for }", &error));
  Make("a.php", "<?php // zz-marker-zz\n");
  Make("b.php", "<?php eval($_GET['x']);");
  const ProgramRun r = Scan("--rules " + ShellQuote(rules) + " " + ShellQuote(site_));
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.out.find("infected\t" + site_ + "a.php\tmy_marker\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("infected\t" + site_ + "b.php\tphp_eval_request_input"), std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find(rules + "broken.yar:2: feature not supported: for loops"), std::string::npos)
      << r.err;
}

TEST_F(ScanCli, UsageAndInputErrorsExitTwo) {
  const ProgramRun help = Scan("--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find(u8"用法: zelkwaf-scan"), std::string::npos);
  for (const char* args :
       {"", "--bogus x", "--jobs 0 .", "--jobs", "--max-size 12Q .", "--rules"}) {
    const ProgramRun r = Scan(args);
    EXPECT_EQ(r.exit_code, 2) << args << ": " << r.err;
  }
  const ProgramRun missing = Scan(ShellQuote(site_ + "nothing-here"));
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_NE(missing.err.find("nothing-here"), std::string::npos) << missing.err;
  // No rules at all: an empty built-in folder is not the case here, but an
  // unreadable user folder alone must not stop the built-in rules.
  Make("c.php", "<?php echo 2;");
  const ProgramRun with_bad_folder = Scan("--rules /nonexistent " + ShellQuote(site_));
  EXPECT_EQ(with_bad_folder.exit_code, 0) << with_bad_folder.err;
}

}  // namespace
