// zelkwaf-filter end to end: the built program run as an administrator would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "filter/patterns.h"
#include "filter/response.h"
#include "filter/testing/request_cases.h"
#include "platform/codepage.h"
#include "testing/run_program.h"

namespace {

using zelk::filter::testing::ReadFileBytes;
using zelk::filter::testing::TempDir;

using CliRun = zelk::filter::testing::ProgramRun;

CliRun RunFilter(const TempDir& dir, const std::string& args,
                 const std::string& locale = "C.UTF-8") {
  return zelk::filter::testing::RunProgram(ZELKWAF_FILTER_EXE, args, dir.path(), locale);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ZelkwafFilter, BlockedRequestPrintsThePageAndExitsOne) {
  TempDir dir;
  WriteFile(dir.path() + "ZelkWAFLog.txt", "");
  WriteFile(dir.path() + "req.txt", "PUT /x.htm HTTP/1.1\r\nHost: example.com\r\n\r\n");
  const CliRun r = RunFilter(
      dir, "--module-dir '" + dir.path() + "' --remote-addr 10.1.2.3 '" + dir.path() + "req.txt'");
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_EQ(r.out,
            "HTTP/1.1 200 OK\r\nServer: ZeLk Web Firewall\r\nX-Powered-By: ZeLkWAF/2.0.0\r\n\r\n" +
                zelk::filter::BuildBlockPage("请求方式非法!", "PUT", "example.com"));
  const std::string log = ReadFileBytes(dir.path() + "ZelkWAFLog.txt");
  EXPECT_EQ(log.substr(20), "10.1.2.3 请求方式非法:PUT\r\n");  // after the time stamp
}

TEST(ZelkwafFilter, PassedRequestPrintsTheServersHeadAndExitsZero) {
  TempDir dir;
  WriteFile(dir.path() + "req.txt", "GET /index.asp?id=5 HTTP/1.1\nHost: example.com\n\n");
  const CliRun r =
      RunFilter(dir, "--module-dir '" + dir.path() + "' --status 302 --header 'Location: /x' '" +
                         dir.path() + "req.txt'");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "HTTP/1.1 302 Object Moved\r\nServer: ZeLk Web Firewall\r\nX-Powered-By: ZeLkWAF/2.0.0\r\n"
      "Location: /x\r\n\r\n");
}

TEST(ZelkwafFilter, ReplacedErrorExitsOne) {
  TempDir dir;
  WriteFile(dir.path() + "req.txt", "GET /secret/ HTTP/1.1\r\n\r\n");
  const CliRun r =
      RunFilter(dir, "--module-dir '" + dir.path() + "' --status 403 '" + dir.path() + "req.txt'");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out.rfind("HTTP/1.1 404 Not Found\r\nContent-Length: ", 0), 0u);
}

TEST(ZelkwafFilter, ReadsTheRequestFromStandardInput) {
  TempDir dir;
  const std::string out = dir.path() + "o";
  const std::string cmd = "printf 'DELETE /a HTTP/1.1\\r\\n\\r\\n' | '" +
                          std::string(ZELKWAF_FILTER_EXE) + "' --module-dir '" + dir.path() +
                          "' >'" + out + "'";
  const int status = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(ReadFileBytes(out).find("DELETE"), std::string::npos);
}

TEST(ZelkwafFilter, BatchModePrintsOneVerdictPerLine) {
  TempDir dir;
  WriteFile(dir.path() + "ZelkWAF.ini", "[ZelkWAF]\r\n");
  WriteFile(dir.path() + "urls.txt",
            "/index.asp?id=1\n/news.asp?id=1%20union%20select%201,2\r\nPUT /upload.htm\n\n"
            "/db/data.mdb\nHEAD /a.htm\n");
  CliRun r =
      RunFilter(dir, "--module-dir '" + dir.path() + "' --batch '" + dir.path() + "urls.txt'");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "passed\t/index.asp?id=1\nblocked\t/news.asp?id=1%20union%20select%201,2\n"
            "blocked\tPUT /upload.htm\nblocked\t/db/data.mdb\npassed\tHEAD /a.htm\n");

  WriteFile(dir.path() + "ZelkWAF.ini", "[ZelkWAF]\r\nLearnMode=1\r\n");
  r = RunFilter(dir, "--module-dir '" + dir.path() + "' --batch '" + dir.path() + "urls.txt'");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find('\n') + 1) + 1),
            "passed\t/index.asp?id=1\nlearned\t/news.asp?id=1%20union%20select%201,2\n");
}

TEST(ZelkwafFilter, BatchModeGivesABadLineItsOwnVerdictAndGoesOn) {
  TempDir dir;
  WriteFile(dir.path() + "ZelkWAF.ini", "[ZelkWAF]\r\n");
  WriteFile(dir.path() + "urls.txt",
            "/index.asp?id=1\nGET \nGET /a.asp extra\nnews.asp\nPUT /upload.htm\n");
  const CliRun r =
      RunFilter(dir, "--module-dir '" + dir.path() + "' --batch '" + dir.path() + "urls.txt'");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.out,
            "passed\t/index.asp?id=1\nerror\tGET \nerror\tGET /a.asp extra\nerror\tnews.asp\n"
            "blocked\tPUT /upload.htm\n");
  for (const char* line : {"第 2 行", "第 3 行", "第 4 行"}) {
    EXPECT_NE(r.err.find(zelk::platform::GbkToUtf8(line)), std::string::npos) << r.err;
  }
}

TEST(ZelkwafFilter, HelpFollowsTheTerminalEncoding) {
  TempDir dir;
  const CliRun utf8 = RunFilter(dir, "--help", "C.UTF-8");
  EXPECT_EQ(utf8.exit_code, 0);
  EXPECT_NE(utf8.out.find("\xE7\x94\xA8\xE6\xB3\x95"), std::string::npos);  // "用法" in UTF-8
  const CliRun c = RunFilter(dir, "--help", "C");
  EXPECT_NE(c.out.find("\xD3\xC3\xB7\xA8"), std::string::npos);  // "用法" in GBK
}

TEST(ZelkwafFilter, UsageAndInputErrorsExitTwoWithAMessage) {
  TempDir dir;
  WriteFile(dir.path() + "bad.txt", "this is not a request\r\n\r\n");
  const std::pair<std::string, std::string> cases[] = {
      {"--bogus", "未知选项"},
      {"--status abc", "状态码无效"},
      {"--status", "需要一个状态码"},
      {"--header NoColon", "头部格式"},
      {"'" + dir.path() + "missing.txt'", "无法读取文件"},
      {"'" + dir.path() + "bad.txt'", "请求无效"},
      {"a b", "只能给出一个请求文件"},
  };
  for (const auto& [args, message] : cases) {
    const CliRun r = RunFilter(dir, args);
    EXPECT_EQ(r.exit_code, 2) << args;
    EXPECT_NE(r.err.find(zelk::platform::GbkToUtf8(message)), std::string::npos)
        << args << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << args;
  }
}

TEST(ZelkwafFilter, ShowPatternsPrintsThePlainBuiltInTexts) {
  TempDir dir;
  const CliRun r = RunFilter(dir, "--show-patterns");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("# built-in text 1\n" + zelk::filter::BuiltinPatternText(1) + "\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("# built-in text 3\n"), std::string::npos);
}

}  // namespace
