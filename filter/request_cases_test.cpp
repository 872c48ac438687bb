// Runs the shared request-case table through the core with a fake server:
// the notifications in IIS's order, every server call checked.
#include "filter/testing/request_cases.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "filter/module.h"
#include "filter/response.h"
#include "filter/testing/fake_context.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;
using testing::RequestCase;

platform::LocalDateTime FixedTime() { return {2013, 3, 14, 8, 5, 3}; }

// The body in pieces of at most 1,000 bytes, as a network delivers it.
struct StringSource : BodySource {
  explicit StringSource(const std::string& b) : body(b) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, body.size() - read, std::size_t{1000}});
    body.copy(buffer, n, read);
    read += n;
    return n;
  }
  const std::string& body;
  std::size_t read = 0;
};

class RequestCaseTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestCaseTest, CoreGivesTheExpectedAnswerPageAndLogLine) {
  const RequestCase& c = GetParam();
  testing::TempDir dir;
  testing::WriteModuleFiles(c, dir.path());
  auto module = LoadModule(dir.path(), {true, FixedTime});

  FakeContext ctx;
  for (const auto& [name, value] : testing::CaseServerVariables(c)) ctx.variables[name] = value;
  Verdict v = RunNotification(*module, ctx, kNotifyPreprocHeaders);
  if (v.status != kStatusReqFinished) {
    // The wildcard extension's turn: the body, when a check needs it.
    const std::string body = c.body.value_or("");
    StringSource source(body);
    const Verdict body_verdict = RunBodyNotification(*module, ctx, source);
    if (body_verdict.status == kStatusReqFinished || body_verdict.outcome != Outcome::kPassed) {
      v = body_verdict;
    }
    EXPECT_TRUE(source.read == 0 || c.body) << "read a body the request does not have";
  }

  const std::string page = BuildBlockPage(c.headline, c.reason, c.page_host);
  if (c.expect == "blocked") {
    EXPECT_EQ(v.status, kStatusReqFinished);
    EXPECT_EQ(v.outcome, Outcome::kBlocked);
    ASSERT_GE(ctx.calls.size(), 2u);
    EXPECT_EQ(ctx.calls[ctx.calls.size() - 2], "SendResponseHeader(200 OK,null)");
    EXPECT_EQ(ctx.calls.back(), "WriteClient(" + std::to_string(page.size()) + ")");
    EXPECT_EQ(ctx.written, page);
  } else {
    EXPECT_EQ(v.status, kStatusReqNextNotification);
    EXPECT_EQ(v.outcome, c.expect == "learned" ? Outcome::kLearned : Outcome::kPassed);
    EXPECT_EQ(ctx.written, "");
    ctx.status = static_cast<std::uint32_t>(c.status);
    if (c.status == 401) {
      ctx.physical_path = std::string(testing::kCaseWebRoot) + "\\private\\a.asp";
      EXPECT_EQ(HttpFilterProc(*module, ctx, kNotifyAccessDenied), kStatusReqNextNotification);
    }
    const std::uint32_t response = HttpFilterProc(*module, ctx, kNotifySendResponse);
    if (c.expect == "replaced") {
      EXPECT_EQ(response, kStatusReqFinished);
      const std::string head =
          c.status == 403 ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
      EXPECT_EQ(ctx.written, head + "Content-Length: " + std::to_string(page.size()) +
                                 "\r\nContent-Type: text/html\r\n\r\n" + page);
    } else {
      EXPECT_EQ(response, kStatusReqNextNotification);
      EXPECT_EQ(ctx.written, "");
    }
  }

  const std::string log = testing::ReadFileBytes(dir.path() + "ZelkWAFLog.txt");
  if (c.log) {
    EXPECT_EQ(log, "2013.03.14 08:05:03 " + *c.log + "\r\n");
  } else {
    EXPECT_EQ(log, "");
  }
  UnloadModule(std::move(module));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RequestCaseTest,
    ::testing::ValuesIn(testing::LoadRequestCases(testing::RequestCasesPath())),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

}  // namespace
}  // namespace zelk::filter
