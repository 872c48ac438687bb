// Cost of the request notification per request, with and without PCRE's JIT,
// for query strings of growing length and of hostile shapes,
// and of the body checks the wildcard extension runs (bytes per second, and
// the memory a 100 MB upload takes).
// Run: build/native/bench/filter_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

#include "filter/module.h"
#include "filter/testing/fake_context.h"
#include "filter/testing/request_cases.h"
#include "platform/files.h"
#include "testing/files.h"

namespace {

using zelk::filter::testing::FakeContext;

// A context as a host keeps it: the request's variables are there already,
// looked up by name; nothing is recorded. The benchmarks measure the filter
// core, not the building of a test double's map.
class CoreContext : public zelk::filter::FilterContext {
 public:
  CoreContext(const std::string& url, const std::string& query)
      : variables_{{"HTTP_METHOD", "GET"},
                   {"HTTP_HOST", "www.example.com"},
                   {"QUERY_STRING", query},
                   {"HTTP_COOKIE", "ASPSESSIONIDQQ=ABCDEFGHIJKL; lang=zh-cn"},
                   {"HTTP_URL", url + "?" + query},
                   {"URL", url},
                   {"REMOTE_ADDR", "10.0.0.5"}} {}
  zelk::filter::VariableResult GetServerVariable(const char* name, char* buffer,
                                                 std::uint32_t* size) override {
    for (const auto& [key, value] : variables_) {
      if (std::strcmp(key, name) == 0) return zelk::filter::CopyServerVariable(value, buffer, size);
    }
    return zelk::filter::VariableResult::kMissing;
  }
  bool SendResponseHeader(const char*, const char*) override { return true; }
  bool WriteClient(const void*, std::uint32_t length) override {
    written += length;
    return true;
  }
  bool SetHeader(const char*, const char*) override { return true; }
  std::uint32_t HttpStatus() override { return 200; }
  const char* PhysicalPath() override { return ""; }
  std::size_t written = 0;

 private:
  std::vector<std::pair<const char*, std::string>> variables_;
};

std::string Repeat(const std::string& unit, std::size_t size) {
  std::string s;
  while (s.size() < size) s += unit;
  s.resize(size);
  return s;
}

std::string Adversarial() {
  return "q=" + Repeat("'/**/or/**/%20%27'-- a=1 union+ ", 16 * 1024 - 2);
}

void RunRequest(benchmark::State& state, const std::string& url, const std::string& query,
                bool jit = true) {
  zelk::testing::TempDir dir;  // no settings file, no log: defaults
  auto module = zelk::filter::LoadModule(dir.path(), {jit, {}});
  state.SetLabel(jit ? (module->cfg().patterns.get.jit() ? "jit" : "jit unavailable") : "no jit");
  CoreContext ctx(url, query);
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        zelk::filter::HttpFilterProc(*module, ctx, zelk::filter::kNotifyPreprocHeaders));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * query.size()));
}

void BM_BenignScript(benchmark::State& state) {
  RunRequest(state, "/news/show.asp",
             "id=12345&page=2&keyword=%D6%D0%CE%C4&sort=date&order=desc&lang=zh-cn&from=index&t="
             "1700000000",
             state.range(0) != 0);
}
void BM_MatchingScript(benchmark::State& state) {
  RunRequest(state, "/news/show.asp",
             "id=1%20and%201=2%20union%20select%201,username,password%20from%20admin",
             state.range(0) != 0);
}
void BM_StaticFile(benchmark::State& state) {
  RunRequest(state, "/images/logo.gif", "v=2", state.range(0) != 0);
}
void BM_Adversarial16K(benchmark::State& state) {
  RunRequest(state, "/news/show.asp", Adversarial(), state.range(0) != 0);
}

// Ordinary query strings of 1, 4, 16 and 64 KB: the cost grows with the
// length and no faster.
void BM_QueryLength(benchmark::State& state) {
  const std::string unit = "id=12345&keyword=%D6%D0%CE%C4+news&sort=date&name=O%27Brien&";
  RunRequest(state, "/news/show.asp", Repeat(unit, static_cast<std::size_t>(state.range(0))));
}

// 64 KB values of one hostile shape each: none may hold the process-wide
// lock for long. From "'&" on they came out slowest, at one time or another,
// in sweeps over every pair, triple and four of the bytes = ' " ` ( ) a x 1
// blank & - # , ; (a value start, an operator or a quote at nearly every
// byte), and over every four of = ( ' & and the letters a o n r d s e t l;
// the five from "'&&1" on, where "&&" or "or" runs into a quote or '(', are
// the slowest of those. "&&" was the slowest before texts 1 and 2 ran in
// their fast forms. "x(select ", "x and ord(" and "=ord(" open a subselect
// or a call again and again within the reach of the look for its "from" or
// closing bracket (from the first byte on, "(select x" and " and ord(" would
// be injections caught at once); "='x---...x&" has runs of dashes after a
// close that do not end the value. The last two, "&&" before a call, after
// a word and a blank or after a quote, with and without the call's closing
// bracket, are the slowest shapes known: the and/or, the call and the value
// start are each tried at their own byte.
// clang-format off
const char* const kHostileShapes[] = {
    "`",    "select ", "'a",   "/*",        "' or ",     "union/*", "--x",    "ascii(", "=1 and ",
    "%27",  "a",       "1",    "\"",        "(",         "#",       "%D6%60", "'&",     "`=",
    "&;",   "&&",      "&-'",  "'==",       "'=;",       "'&;",     "aa(",    "'&&1",   "&a'&",
    "=aa(", "or='",    "=or(", "x(select ", "x and ord(", "=ord(",
    "='x----------------------------------------x&", "x &&ord(", " '&&ord()"};
// clang-format on
void BM_Hostile64K(benchmark::State& state) {
  const std::string unit = kHostileShapes[state.range(0)];
  state.SetLabel("\"" + unit + "\"");
  RunRequest(state, "/news/show.asp", "q=" + Repeat(unit, 64 * 1024 - 2));
}

// A body served from memory in 64 KB reads, or generated on the fly past
// `held` (a 100 MB upload is never held whole). Keeps what the rules read, as
// the extension does to hand it on.
class BenchBody : public zelk::filter::BodySource {
 public:
  BenchBody(const std::string& bytes, std::size_t total) : bytes_(bytes), total_(total) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, total_ - pos_);
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t at = pos_ + i;
      buffer[i] = at < bytes_.size() ? bytes_[at] : static_cast<char>(at * 131);
    }
    kept_.append(buffer, n);
    pos_ += n;
    return n;
  }

 private:
  const std::string& bytes_;
  std::size_t total_;
  std::size_t pos_ = 0;
  std::string kept_;
};

FakeContext Post(const std::string& content_type) {
  FakeContext ctx;
  ctx.variables = {{"HTTP_METHOD", "POST"},     {"HTTP_HOST", "www.example.com"},
                   {"HTTP_URL", "/upload.asp"}, {"URL", "/upload.asp"},
                   {"REMOTE_ADDR", "10.0.0.5"}, {"CONTENT_TYPE", content_type}};
  return ctx;
}

void RunBody(benchmark::State& state, const std::string& content_type, const std::string& body) {
  auto module = zelk::filter::LoadDefaultModule();
  for (auto _ : state) {
    FakeContext ctx = Post(content_type);
    BenchBody source(body, body.size());
    benchmark::DoNotOptimize(zelk::filter::RunBodyNotification(*module, ctx, source));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

std::string BenignForm() {
  std::string form = "title=%D6%D0%CE%C4%B1%EA%CC%E2&author=tom&email=tom%40example.com&content=";
  while (form.size() < 1000) form += "%C4%E3%BA%C3%A3%AC+this+is+a+comment+about+the+product.+";
  return form.substr(0, 1024);
}

std::string MultipartImage(std::size_t size) {
  std::mt19937 rng(7);
  std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"photo.jpg\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n\xFF\xD8\xFF\xE0";
  while (body.size() < size) body.push_back(static_cast<char>(rng()));
  return body + "\r\n--B--\r\n";
}

void BM_BenignPostForm1K(benchmark::State& state) {
  RunBody(state, "application/x-www-form-urlencoded", BenignForm());
}
void BM_MultipartImageUpload1M(benchmark::State& state) {
  RunBody(state, "multipart/form-data; boundary=B", MultipartImage(1024 * 1024));
}

// One 100 MB upload: the rules read the cap and leave the rest to the page.
// peak_rss_growth_MB is the growth of the process's peak resident size.
void BM_Upload100MB(benchmark::State& state) {
  auto module = zelk::filter::LoadDefaultModule();
  const std::string head = MultipartImage(0);
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (auto _ : state) {
    FakeContext ctx = Post("multipart/form-data; boundary=B");
    BenchBody source(head, 100u * 1024 * 1024);
    benchmark::DoNotOptimize(zelk::filter::RunBodyNotification(*module, ctx, source));
  }
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  state.counters["peak_rss_growth_MB"] = (after.ru_maxrss - before.ru_maxrss) / 1024.0;
}

// Loading a white list of a million entries (the goal: under a second), and
// a lookup in it, which must not grow with the list.
void BM_LoadWhiteListMillion(benchmark::State& state) {
  zelk::testing::TempDir dir;
  const std::string path = dir.path() + "ZelkWAF.dst";
  std::string text;
  for (int i = 0; i < 1000000; ++i) text += "/site/page" + std::to_string(i) + ".asp\r\n";
  std::string error;
  zelk::platform::WriteWholeFile(path, text, &error);
  for (auto _ : state) {
    zelk::filter::WhiteList list;
    benchmark::DoNotOptimize(zelk::filter::LoadWhiteList(path, &list));
  }
}

void BM_WhiteListLookup(benchmark::State& state) {
  zelk::filter::WhiteList list;
  for (long i = 0; i < state.range(0); ++i) list.Add("/site/page" + std::to_string(i) + ".asp");
  for (auto _ : state) benchmark::DoNotOptimize(list.Contains("/SITE/page12345.asp"));
}

// First, so that no earlier benchmark has raised the peak already.
BENCHMARK(BM_Upload100MB)->Iterations(1);
BENCHMARK(BM_BenignPostForm1K);
BENCHMARK(BM_MultipartImageUpload1M);
BENCHMARK(BM_BenignScript)->Arg(1)->Arg(0);
BENCHMARK(BM_MatchingScript)->Arg(1)->Arg(0);
BENCHMARK(BM_StaticFile)->Arg(1)->Arg(0);
BENCHMARK(BM_Adversarial16K)->Arg(1)->Arg(0);
BENCHMARK(BM_QueryLength)->Arg(1 << 10)->Arg(4 << 10)->Arg(16 << 10)->Arg(64 << 10);
BENCHMARK(BM_Hostile64K)->DenseRange(0, static_cast<int>(std::size(kHostileShapes)) - 1);
BENCHMARK(BM_LoadWhiteListMillion)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WhiteListLookup)->Arg(1000)->Arg(1000000);

}  // namespace
