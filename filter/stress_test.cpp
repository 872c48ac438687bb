// The filter core under concurrent load: many threads send a mix of requests
// that are blocked and passed, send-response notifications and request
// bodies through one module with the event log on, as IIS's worker threads
// do. Every block writes exactly one whole line; nothing is torn or lost.
// Run under ThreadSanitizer by the tsan preset.
//
// ZELK_STRESS_THREADS and ZELK_STRESS_REQUESTS (per thread) set the load;
// the defaults keep the test short (16 x 2,000), the full run is 16 x 50,000.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "filter/module.h"
#include "filter/testing/fake_context.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/files.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;

long EnvCount(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  const long value = std::strtol(text, nullptr, 10);
  return value > 0 ? value : fallback;
}

FakeContext Request(const std::string& method, const std::string& url, const std::string& query) {
  FakeContext ctx;
  ctx.variables = {{"HTTP_METHOD", method},
                   {"HTTP_HOST", "localhost"},
                   {"QUERY_STRING", query},
                   {"HTTP_URL", query.empty() ? url : url + "?" + query},
                   {"URL", url},
                   {"REMOTE_ADDR", "10.0.0.5"}};
  return ctx;
}

struct StringBody : BodySource {
  explicit StringBody(std::string text) : text(std::move(text)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, text.size() - read);
    text.copy(buffer, n, read);
    read += n;
    return n;
  }
  std::string text;
  std::size_t read = 0;
};

struct Tally {
  long blocked = 0;
  long passed = 0;
  long failures = 0;  // a verdict other than the expected one
};

// One request of kind i % 6, each with a verdict known in advance.
void RunOne(Module& m, long i, int thread, Tally* tally) {
  const std::string id = std::to_string(thread) + "-" + std::to_string(i);
  auto expect = [&](bool blocked, const Verdict& v) {
    const bool was_blocked = v.outcome == Outcome::kBlocked;
    if (was_blocked != blocked) ++tally->failures;
    ++(was_blocked ? tally->blocked : tally->passed);
  };
  switch (i % 6) {
    case 0: {  // query injection: blocked and logged
      FakeContext ctx = Request("GET", "/news.asp", "id=" + id + "%20union%20select%201,2");
      expect(true, RunNotification(m, ctx, kNotifyPreprocHeaders));
      break;
    }
    case 1: {  // PUT: blocked and logged
      FakeContext ctx = Request("PUT", "/upload/" + id + ".asp", "");
      expect(true, RunNotification(m, ctx, kNotifyPreprocHeaders));
      break;
    }
    case 2:    // a plain page, then its response (an error page the filter replaces)
    case 3: {  // and one that goes out unchanged
      FakeContext ctx = Request("GET", "/index.asp", "id=" + id);
      expect(false, RunNotification(m, ctx, kNotifyPreprocHeaders));
      ctx.status = i % 6 == 2 ? 500 : 200;
      RunNotification(m, ctx, kNotifySendResponse);
      break;
    }
    case 4: {  // a form body with an injection: blocked and logged, no filter lock
      FakeContext ctx = Request("POST", "/guestbook.asp", "");
      ctx.variables["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
      StringBody body("name=" + id + "&content=1+union+select+password+from+admin");
      expect(true, RunBodyNotification(m, ctx, body));
      break;
    }
    default: {  // a harmless form body
      FakeContext ctx = Request("POST", "/guestbook.asp", "");
      ctx.variables["CONTENT_TYPE"] = "application/x-www-form-urlencoded";
      StringBody body("name=" + id + "&content=hello");
      expect(false, RunBodyNotification(m, ctx, body));
      break;
    }
  }
}

TEST(FilterStress, EveryBlockFromManyThreadsLogsOneWholeLine) {
  const int threads = static_cast<int>(EnvCount("ZELK_STRESS_THREADS", 16));
  const long requests = EnvCount("ZELK_STRESS_REQUESTS", 2000);
  zelk::testing::TempDir dir;
  const std::string log_path = dir.path() + kEventLogFileName;
  std::ofstream(log_path, std::ios::binary).close();  // the event log exists: logging is on
  auto module = LoadModule(dir.path());
  ASSERT_TRUE(module->log.is_open());
  ASSERT_TRUE(module->cfg().settings.WirteLog);

  std::vector<Tally> tallies(threads);
  std::atomic<int> ready{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < threads) std::this_thread::yield();  // start together
      for (long i = 0; i < requests; ++i) RunOne(*module, i + t, t, &tallies[t]);
    });
  }
  for (std::thread& w : workers) w.join();
  UnloadModule(std::move(module));

  Tally total;
  for (const Tally& t : tallies) {
    total.blocked += t.blocked;
    total.passed += t.passed;
    total.failures += t.failures;
  }
  EXPECT_EQ(total.failures, 0);
  EXPECT_EQ(total.blocked + total.passed, threads * requests);

  // Every line whole: one timestamp, one of the three messages in full, CR
  // LF; and no request logged twice.
  const std::string log = zelk::testing::FileBytes(log_path);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
  const std::string stamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d 10\.0\.0\.5 [^ ]+:)";
  const std::regex whole(stamp + "(PUT|localhost/guestbook\\.asp [^ ]+:name=(\\d+-\\d+)" +
                         R"(&content=1\+union\+select\+password\+from\+admin|)" +
                         R"(localhost/news\.asp\?id=(\d+-\d+)%20union%20select%201,2 [^ ]+:)" +
                         R"(id=\3%20union%20select%201,2))");
  std::set<std::string> ids;
  long lines = 0, torn = 0, twice = 0;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    const std::string line = log.substr(start, end - start);
    std::smatch m;
    if (!std::regex_match(line, m, whole)) {
      if (++torn <= 3) ADD_FAILURE() << "torn line: " << line;
    } else if (m[2].matched || m[3].matched) {
      twice +=
          !ids.insert((m[2].matched ? "post " : "get ") + std::string(m[2].matched ? m[2] : m[3]))
               .second;
    }
    ++lines;
    start = end + 2;
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(twice, 0);
  EXPECT_EQ(lines, total.blocked);
}

}  // namespace
}  // namespace zelk::filter
