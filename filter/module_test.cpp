#include "filter/module.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "filter/response.h"
#include "filter/testing/fake_context.h"
#include "filter/testing/request_cases.h"
#include "platform/files.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;
using testing::ReadFileBytes;
using testing::TempDir;

platform::LocalDateTime FixedTime() { return {2013, 3, 14, 8, 5, 3}; }

FakeContext ScriptRequest(const std::string& url, const std::string& query) {
  FakeContext ctx;
  ctx.variables = {{"HTTP_METHOD", "GET"},
                   {"HTTP_HOST", "localhost"},
                   {"QUERY_STRING", query},
                   {"HTTP_URL", query.empty() ? url : url + "?" + query},
                   {"URL", url},
                   {"REMOTE_ADDR", "10.0.0.5"}};
  return ctx;
}

TEST(LoadModule, BuildsThePathsFromTheModuleDirectory) {
  auto m = LoadModule("C:\\Inetpub\\ZelkWAF\\IIS\\");
  EXPECT_EQ(m->settings_path, "C:\\Inetpub\\ZelkWAF\\IIS\\ZelkWAF.ini");
  EXPECT_EQ(m->whitelist_path, "C:\\Inetpub\\ZelkWAF\\IIS\\ZelkWAF.dst");
  EXPECT_EQ(m->log_path, "C:\\Inetpub\\ZelkWAF\\IIS\\ZelkWAFLog.txt");
}

TEST(LoadModule, WithoutFilesUsesDefaultsAndBlocksWithTheBuiltInPatterns) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  EXPECT_TRUE(m->cfg().settings.SqlGet);
  EXPECT_FALSE(m->cfg().settings.WirteLog);  // no event log file: logging off for the module's life
  EXPECT_FALSE(m->log.is_open());
  FakeContext ctx = ScriptRequest("/news.asp", "id=1%20union%20select%201,2");
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqFinished);
}

TEST(LoadDefaultModule, BlocksWithTheBuiltInDefaultsAndLogsNothing) {
  auto m = LoadDefaultModule();
  EXPECT_FALSE(m->cfg().settings.WirteLog);
  FakeContext injection = ScriptRequest("/news.asp", "id=1%20union%20select%201,2");
  EXPECT_EQ(HttpFilterProc(*m, injection, kNotifyPreprocHeaders), kStatusReqFinished);
  FakeContext put = ScriptRequest("/a.htm", "");
  put.variables["HTTP_METHOD"] = "PUT";
  EXPECT_EQ(HttpFilterProc(*m, put, kNotifyPreprocHeaders), kStatusReqFinished);
}

TEST(LoadModule, ALogFileCreatedAfterLoadStaysUnused) {
  TempDir dir;
  auto m = LoadModule(dir.path(), {true, FixedTime});
  std::ofstream(dir.path() + "ZelkWAFLog.txt", std::ios::binary);
  FakeContext ctx = ScriptRequest("/news.asp", "");
  ctx.variables["HTTP_METHOD"] = "PUT";
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqFinished);
  EXPECT_EQ(ReadFileBytes(dir.path() + "ZelkWAFLog.txt"), "");
}

// A module folder with Chinese in its name: every file of the module is
// found through the same GBK path.
TEST(LoadModule, FindsItsFilesInAFolderWithAChineseName) {
  TempDir dir;
  const std::string module_dir = dir.path() + "防火墙" + platform::PathSeparator();
  ASSERT_TRUE(platform::CreateDirectories(module_dir));
  std::string error;
  ASSERT_TRUE(
      platform::WriteWholeFile(module_dir + "ZelkWAF.ini", "[ZelkWAF]\r\nLearnMode=1\r\n", &error));
  ASSERT_TRUE(platform::WriteWholeFile(module_dir + "ZelkWAF.dst", "/a.asp\r\n", &error));
  ASSERT_TRUE(platform::WriteWholeFile(module_dir + "ZelkWAFLog.txt", "", &error));
  auto m = LoadModule(module_dir);
  EXPECT_TRUE(m->cfg().settings.LearnMode);
  EXPECT_TRUE(m->cfg().white_list.Contains("/A.ASP"));
  EXPECT_TRUE(m->log.is_open());
}

TEST(HttpFilterProc, OtherNotificationsDoNothing) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  for (std::uint32_t type : {0u, 0x1u, 0x80u, 0x8000u, 0x4040u, 0xFFFFFFFFu}) {
    FakeContext ctx;
    EXPECT_EQ(HttpFilterProc(*m, ctx, type), kStatusReqNextNotification);
    EXPECT_TRUE(ctx.calls.empty()) << type;
  }
}

// Variables are read when a rule needs them, each at most once: a static
// file costs three server calls, a clean script request no host, raw URL or
// client address, and a block reads what its page and log line show.
TEST(OnPreprocHeaders, ReadsEachVariableOnceAndOnlyWhenARuleNeedsIt) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  const auto read = [](std::initializer_list<const char*> names) {
    std::vector<std::string> calls;
    for (const char* n : names) calls.push_back(std::string("GetServerVariable(") + n + ")");
    return calls;
  };
  const std::vector<std::string> headers =
      read({"HTTP_X_FORWARDED_FOR", "HTTP_CLIENT_IP", "HTTP_X_REAL_IP", "HTTP_REFERER",
            "HTTP_USER_AGENT"});
  struct Case {
    std::string url, query;
    std::vector<std::string> expected;
  };
  std::vector<Case> cases = {
      {"/a.htm", "", read({"HTTP_METHOD", "URL", "HTTP_RANGE"})},
      {"/a.asp", "id=1", read({"HTTP_METHOD", "URL", "QUERY_STRING", "HTTP_COOKIE"})},
      {"/a.asp", "id=1'--",
       read({"HTTP_METHOD", "URL", "QUERY_STRING", "REMOTE_ADDR", "HTTP_HOST", "HTTP_URL"})},
      {"/db/x.mdb", "", read({"HTTP_METHOD", "URL", "HTTP_URL", "HTTP_HOST", "REMOTE_ADDR"})},
  };
  cases[1].expected.insert(cases[1].expected.end(), headers.begin(), headers.end());
  for (const Case& c : cases) {
    FakeContext ctx = ScriptRequest(c.url, c.query);
    HttpFilterProc(*m, ctx, kNotifyPreprocHeaders);
    std::vector<std::string> reads;
    for (const std::string& call : ctx.calls) {
      if (call.rfind("GetServerVariable(", 0) == 0) reads.push_back(call);
    }
    // The method is read first; a block page's arguments in any order.
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.front(), "GetServerVariable(HTTP_METHOD)");
    std::vector<std::string> expected = c.expected;
    std::sort(reads.begin(), reads.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(std::adjacent_find(reads.begin(), reads.end()), reads.end())
        << "a variable read twice for " << c.url;
    EXPECT_EQ(reads, expected) << c.url << "?" << c.query;
  }
}

TEST(OnPreprocHeaders, MissingVariablesReadAsEmpty) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  FakeContext ctx;  // the server provides nothing at all
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqNextNotification);
  EXPECT_EQ(ctx.written, "");
}

// Padding a query past the old 4 KB limit must not switch the check off.
TEST(OnPreprocHeaders, ChecksQueriesOfAnyLength) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  for (std::size_t pad : {4095u - 24u, 4096u, 8192u, 64u * 1024u}) {
    const std::string query = "x=" + std::string(pad, 'a') + "&id=1%20union%20select%201,2";
    FakeContext ctx = ScriptRequest("/news.asp", query);
    EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqFinished) << pad;
    EXPECT_EQ(ctx.written, BuildBlockPage("GET请求存在注入语句!", query, "localhost"));
  }
}

TEST(ReadServerVariable, ReadsAValueOfExactly4095And4096Bytes) {
  for (std::size_t n : {0u, 1u, 4095u, 4096u, 20000u}) {
    FakeContext ctx;
    ctx.variables["QUERY_STRING"] = std::string(n, 'q');
    EXPECT_EQ(ReadServerVariable(ctx, "QUERY_STRING"), std::string(n, 'q')) << n;
  }
}

TEST(ReadServerVariable, AFaultInTheServerCallReadsAsEmpty) {
  FakeContext ctx;
  ctx.variables["URL"] = "/a.asp";
  ctx.on_get_variable = [](const char*) { throw std::runtime_error("access violation"); };
  EXPECT_EQ(ReadServerVariable(ctx, "URL"), "");
}

TEST(ReadServerVariable, GivesUpOnAValueThatKeepsGrowing) {
  class Growing : public FakeContext {
   public:
    VariableResult GetServerVariable(const char*, char*, std::uint32_t* size) override {
      *size += 5000;
      return VariableResult::kTooSmall;
    }
  } ctx;
  EXPECT_EQ(ReadServerVariable(ctx, "URL"), "");
}

// A failure after the page went out still lets the request go on, and the
// lock is free again afterwards.
TEST(HttpFilterProc, FailsOpenWhenAHandlerFails) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  FakeContext ctx = ScriptRequest("/a.htm", "");
  ctx.variables["HTTP_METHOD"] = "PUT";
  ctx.on_write_client = [] { throw std::runtime_error("connection reset"); };
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqNextNotification);
  EXPECT_FALSE(ctx.written.empty());
  bool free_again = false;
  std::thread([&] {
    free_again = m->filter_lock.try_lock();
    if (free_again) m->filter_lock.unlock();
  }).join();
  EXPECT_TRUE(free_again);
}

TEST(HttpFilterProc, ABlockStaysABlockWhenTheLogDeviceIsFull) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "needs /dev/full";
  TempDir dir;
  std::filesystem::create_symlink("/dev/full", dir.path() + "ZelkWAFLog.txt");
  auto m = LoadModule(dir.path());
  ASSERT_TRUE(m->log.is_open());
  for (int round = 0; round < 3; ++round) {  // the module serves on after each failed write
    FakeContext put = ScriptRequest("/a.htm", "");
    put.variables["HTTP_METHOD"] = "PUT";
    EXPECT_EQ(HttpFilterProc(*m, put, kNotifyPreprocHeaders), kStatusReqFinished);
    EXPECT_EQ(put.written, BuildBlockPage("请求方式非法!", "PUT", "localhost"));
    FakeContext injection = ScriptRequest("/a.asp", "id=1%20union%20select%201,2");
    EXPECT_EQ(HttpFilterProc(*m, injection, kNotifyPreprocHeaders), kStatusReqFinished);
    FakeContext plain = ScriptRequest("/a.asp", "id=1");
    EXPECT_EQ(HttpFilterProc(*m, plain, kNotifyPreprocHeaders), kStatusReqNextNotification);
    EXPECT_TRUE(plain.written.empty());
  }
}

TEST(HttpFilterProc, TheSecondRequestWaitsForTheFirst) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  std::mutex mu;
  std::condition_variable cv;
  bool first_inside = false, release_first = false;
  std::vector<std::string> events;
  auto record = [&](const std::string& e) {
    std::lock_guard<std::mutex> hold(mu);
    events.push_back(e);
  };

  FakeContext first = ScriptRequest("/a.asp", "id=1");
  first.on_get_variable = [&](const char* name) {
    if (std::string(name) == "HTTP_USER_AGENT") record("first reads its last variable");
    if (std::string(name) != "HTTP_METHOD") return;
    std::unique_lock<std::mutex> hold(mu);
    events.push_back("first enters");
    first_inside = true;
    cv.notify_all();
    cv.wait_for(hold, std::chrono::seconds(30), [&] { return release_first; });
  };
  FakeContext second = ScriptRequest("/b.asp", "id=2");
  second.on_get_variable = [&](const char* name) {
    if (std::string(name) == "HTTP_METHOD") record("second enters");
  };

  std::thread t1([&] { HttpFilterProc(*m, first, kNotifyPreprocHeaders); });
  {
    std::unique_lock<std::mutex> hold(mu);
    ASSERT_TRUE(cv.wait_for(hold, std::chrono::seconds(30), [&] { return first_inside; }));
  }
  std::atomic<bool> second_started{false};
  std::thread t2([&] {
    second_started = true;
    HttpFilterProc(*m, second, kNotifyPreprocHeaders);
  });
  // While the first notification runs, the filter lock is held.
  bool lock_free = true;
  std::thread([&] {
    lock_free = m->filter_lock.try_lock();
    if (lock_free) m->filter_lock.unlock();
  }).join();
  EXPECT_FALSE(lock_free);
  {
    std::lock_guard<std::mutex> hold(mu);
    release_first = true;
  }
  cv.notify_all();
  t1.join();
  t2.join();
  ASSERT_TRUE(second_started);
  const std::vector<std::string> expected = {"first enters", "first reads its last variable",
                                             "second enters"};
  EXPECT_EQ(events, expected);
  EXPECT_EQ(second.calls.size(), 9u);  // method, path, query, cookie, the five inspected headers
}

TEST(HttpFilterProc, IsReentrantOnTheSameThread) {
  TempDir dir;
  auto m = LoadModule(dir.path());
  class Nested : public FakeContext {
   public:
    Module* module = nullptr;
    std::uint32_t nested_status = 0;
    bool SendResponseHeader(const char* s, const char* h) override {
      FakeContext::SendResponseHeader(s, h);
      nested_status = HttpFilterProc(*module, *this, kNotifySendResponse);
      return true;
    }
  } ctx;
  ctx.module = m.get();
  ctx.variables = {{"HTTP_METHOD", "PUT"}, {"URL", "/a.htm"}};
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqFinished);
  EXPECT_EQ(ctx.nested_status, kStatusReqNextNotification);
  EXPECT_EQ(ctx.headers.at("Server:"), "ZeLk Web Firewall");
}

TEST(OnAccessDenied, LogsThePhysicalPathWithoutClientAddress) {
  TempDir dir;
  std::ofstream(dir.path() + "ZelkWAFLog.txt", std::ios::binary);
  auto m = LoadModule(dir.path(), {true, FixedTime});
  FakeContext ctx;
  ctx.physical_path = "D:\\web\\管理\\a.asp";
  ctx.variables["REMOTE_ADDR"] = "10.0.0.5";
  EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyAccessDenied), kStatusReqNextNotification);
  EXPECT_TRUE(ctx.written.empty());
  UnloadModule(std::move(m));
  EXPECT_EQ(ReadFileBytes(dir.path() + "ZelkWAFLog.txt"),
            "2013.03.14 08:05:03 尝试匿名访问:D:\\web\\管理\\a.asp\r\n");
}

TEST(UnloadModule, ReleasesTheLogSoWritersMayOpenIt) {
  TempDir dir;
  const std::string log = dir.path() + "ZelkWAFLog.txt";
  std::ofstream(log, std::ios::binary);
  auto m = LoadModule(dir.path());
  EXPECT_FALSE(platform::CanOpenForWriting(log));
  UnloadModule(std::move(m));
  EXPECT_TRUE(platform::CanOpenForWriting(log));
}

TEST(OnPreprocHeaders, RealBrowserAndCrawlerUserAgentsPass) {
  const std::string text =
      ReadFileBytes(std::string(ZELK_SOURCE_DIR) + "/testdata/user_agents.txt");
  auto m = LoadDefaultModule();
  int checked = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string agent = text.substr(start, end - start);
    start = end + 1;
    if (agent.empty() || agent[0] == '#') continue;
    FakeContext ctx = ScriptRequest("/count.asp", "id=12");
    ctx.variables["HTTP_USER_AGENT"] = agent;
    ctx.variables["HTTP_REFERER"] = "http://www.example.com/list.asp?ua=" + agent;
    EXPECT_EQ(HttpFilterProc(*m, ctx, kNotifyPreprocHeaders), kStatusReqNextNotification) << agent;
    ++checked;
  }
  EXPECT_GT(checked, 3000);
}

}  // namespace
}  // namespace zelk::filter
