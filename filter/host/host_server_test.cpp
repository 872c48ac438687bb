#include "filter/host/host_server.h"

#include <gtest/gtest.h>

#include "filter/response.h"
#include "filter/testing/request_cases.h"

namespace zelk::filter::host {
namespace {

using filter::testing::RequestCase;

TEST(ParseRawRequest, ReadsTheRequestLineAndHeadersUpToTheEmptyLine) {
  std::string error;
  const auto crlf = ParseRawRequest(
      "POST /a.asp?x=1 HTTP/1.1\r\nHost: example.com\r\nCookie:  a=1; b=2 \r\n\r\nbody: "
      "ignored\r\n",
      &error);
  ASSERT_TRUE(crlf) << error;
  EXPECT_EQ(crlf->method, "POST");
  EXPECT_EQ(crlf->target, "/a.asp?x=1");
  ASSERT_EQ(crlf->headers.size(), 2u);
  EXPECT_EQ(crlf->headers[1], (std::pair<std::string, std::string>{"Cookie", "a=1; b=2"}));

  const auto lf = ParseRawRequest("GET / HTTP/1.0\nRange: bytes=0-\n", &error);
  ASSERT_TRUE(lf) << error;
  EXPECT_EQ(lf->headers.at(0).second, "bytes=0-");
}

TEST(ParseRawRequest, ReadsTheBodyItsHeadersAnnounce) {
  const std::pair<std::string, std::string> cases[] = {
      {"Content-Length: 5\r\n\r\nhello, and more", "hello"},
      {"content-length: 0\r\n\r\nignored", ""},
      {"\r\nno length: no body", ""},
      {"Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n7;ext=1\r\n, world\r\n0\r\nX: y\r\n\r\n",
       "hello, world"},
      {"Transfer-Encoding: gzip, Chunked\r\n\r\nA\n0123456789\n0\n\n", "0123456789"},
      // more headers after the length (they once moved the string it was read from)
      {"Content-Length: 3\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\nE: 5\r\n\r\nabcdef", "abc"},
  };
  for (const auto& [rest, body] : cases) {
    std::string error;
    const auto r = ParseRawRequest("POST /a.asp HTTP/1.1\r\n" + rest, &error);
    ASSERT_TRUE(r) << rest << ": " << error;
    EXPECT_EQ(r->body, body) << rest;
  }
}

TEST(ParseRawRequest, RejectsMalformedInputWithAMessage) {
  for (const char* bad :
       {"", "\r\n", "GET\r\n", "GET /\r\n", "GET / FTP/1.0\r\n", " / HTTP/1.1\r\n",
        "GET / HTTP/1.1\r\nno colon here\r\n", "GET / HTTP/1.1\r\n: empty name\r\n",
        "GET / HTTP/1.1\r\n \t: blank name\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 9\r\n\r\nshort",
        "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
        "POST / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n1",
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel",
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"}) {
    std::string error;
    EXPECT_FALSE(ParseRawRequest(bad, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(DeriveServerVariables, FollowsIis) {
  HttpRequest req{"GET", "/a%20b/c%2Easp?q=%27x?y", {{"host", "h"}, {"RANGE", "bytes=1-"}}, {}};
  const auto v = DeriveServerVariables(req, "192.0.2.7");
  EXPECT_EQ(v.at("HTTP_METHOD"), "GET");
  EXPECT_EQ(v.at("HTTP_URL"), "/a%20b/c%2Easp?q=%27x?y");
  EXPECT_EQ(v.at("URL"), "/a b/c.asp");
  EXPECT_EQ(v.at("QUERY_STRING"), "q=%27x?y");
  EXPECT_EQ(v.at("HTTP_HOST"), "h");
  EXPECT_EQ(v.at("HTTP_RANGE"), "bytes=1-");
  EXPECT_EQ(v.count("HTTP_COOKIE"), 0u);
  EXPECT_EQ(v.at("REMOTE_ADDR"), "192.0.2.7");
}

TEST(DeriveServerVariables, GivesEveryHeaderAndMergesRepeatedOnes) {
  HttpRequest req{"GET",
                  "/a.asp",
                  {{"Cookie", "a=1"},
                   {"User-Agent", "UA"},
                   {"cookie", "b=2"},
                   {"X-Forwarded-For", "1.2.3.4"},
                   {"X-Forwarded-For", "5.6.7.8"}},
                  {}};
  const auto v = DeriveServerVariables(req, "192.0.2.7");
  EXPECT_EQ(v.at("HTTP_COOKIE"), "a=1; b=2");
  EXPECT_EQ(v.at("HTTP_USER_AGENT"), "UA");
  EXPECT_EQ(v.at("HTTP_X_FORWARDED_FOR"), "1.2.3.4, 5.6.7.8");
}

const char kRewrittenHeaders[] = "Server: ZeLk Web Firewall\r\nX-Powered-By: ZeLkWAF/2.0.0\r\n";

class HostCaseTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(HostCaseTest, ClientReceivesExactlyTheExpectedBytes) {
  const RequestCase& c = GetParam();
  filter::testing::TempDir dir;
  filter::testing::WriteModuleFiles(c, dir.path());
  auto module =
      LoadModule(dir.path(), {true, [] { return platform::LocalDateTime{2013, 3, 14, 8, 5, 3}; }});
  HttpRequest req{c.method, c.target, {}, {}};
  if (c.host) req.headers.emplace_back("Host", *c.host);
  if (c.cookie) req.headers.emplace_back("Cookie", *c.cookie);
  if (c.range) req.headers.emplace_back("Range", *c.range);
  for (const auto& h : c.headers) req.headers.push_back(h);
  if (c.body) req.body = *c.body;
  ServeOptions options;
  options.remote_addr = filter::testing::kCaseRemoteAddr;
  options.status = c.status;
  const ServeResult r = ServeRequest(*module, req, options);

  const std::string page = BuildBlockPage(c.headline, c.reason, c.page_host);
  if (c.expect == "blocked") {
    EXPECT_TRUE(r.answered_by_filter);
    EXPECT_EQ(r.output, std::string("HTTP/1.1 200 OK\r\n") + kRewrittenHeaders + "\r\n" + page);
  } else if (c.expect == "replaced") {
    EXPECT_TRUE(r.answered_by_filter);
    EXPECT_EQ(r.output,
              std::string(c.status == 403 ? "HTTP/1.1 404 Not Found" : "HTTP/1.1 200 OK") +
                  "\r\nContent-Length: " + std::to_string(page.size()) +
                  "\r\nContent-Type: text/html\r\n\r\n" + page);
  } else {
    EXPECT_FALSE(r.answered_by_filter);
    EXPECT_EQ(r.outcome, c.expect == "learned" ? Outcome::kLearned : Outcome::kPassed);
    EXPECT_EQ(r.output, "HTTP/1.1 " + StatusText(c.status) + "\r\n" + kRewrittenHeaders + "\r\n");
  }
  UnloadModule(std::move(module));
  const std::string log = filter::testing::ReadFileBytes(dir.path() + "ZelkWAFLog.txt");
  EXPECT_EQ(log, c.log ? "2013.03.14 08:05:03 " + *c.log + "\r\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostCaseTest,
    ::testing::ValuesIn(filter::testing::LoadRequestCases(filter::testing::RequestCasesPath())),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

TEST(ServeRequest, ServerHeadersAreKeptWhenRewritingIsOff) {
  filter::testing::TempDir dir;
  filter::testing::RequestCase c;
  c.settings_file = "[ZelkWAF]\r\nDenyIISVER=0\r\n";
  filter::testing::WriteModuleFiles(c, dir.path());
  auto module = LoadModule(dir.path());
  ServeOptions options;
  options.headers = {{"X-AspNet-Version", "2.0.50727"}, {"Content-Length", "5"}};
  const ServeResult r = ServeRequest(*module, {"GET", "/a.aspx", {{"Host", "h"}}, {}}, options);
  EXPECT_EQ(r.output,
            "HTTP/1.1 200 OK\r\nServer: Microsoft-IIS/6.0\r\nX-Powered-By: ASP.NET\r\n"
            "X-AspNet-Version: 2.0.50727\r\nContent-Length: 5\r\n\r\n");
}

TEST(ServeRequest, RewritingRemovesTheAspNetVersion) {
  filter::testing::TempDir dir;
  auto module = LoadModule(dir.path());
  ServeOptions options;
  options.headers = {{"X-AspNet-Version", "2.0.50727"}, {"Server", "Custom"}};
  const ServeResult r = ServeRequest(*module, {"GET", "/a.aspx", {}, {}}, options);
  EXPECT_EQ(r.output, std::string("HTTP/1.1 200 OK\r\n") + kRewrittenHeaders + "\r\n");
}

}  // namespace
}  // namespace zelk::filter::host
