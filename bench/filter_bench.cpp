// Cost of the request notification per request, with and without PCRE's JIT.
// Run: build/native/bench/filter_bench
#include <benchmark/benchmark.h>

#include "filter/module.h"
#include "filter/testing/fake_context.h"
#include "filter/testing/request_cases.h"

namespace {

using zelk::filter::testing::FakeContext;

FakeContext Request(const std::string& url, const std::string& query) {
  FakeContext ctx;
  ctx.variables = {
      {"HTTP_METHOD", "GET"},          {"HTTP_HOST", "www.example.com"},
      {"QUERY_STRING", query},         {"HTTP_COOKIE", "ASPSESSIONIDQQ=ABCDEFGHIJKL; lang=zh-cn"},
      {"HTTP_URL", url + "?" + query}, {"URL", url},
      {"REMOTE_ADDR", "10.0.0.5"}};
  return ctx;
}

std::string Adversarial() {
  std::string q = "q=";
  while (q.size() < 16 * 1024) q += "'/**/or/**/%20%27'-- a=1 union+ ";
  return q.substr(0, 16 * 1024);
}

void RunRequest(benchmark::State& state, const std::string& url, const std::string& query) {
  zelk::testing::TempDir dir;  // no settings file, no log: defaults
  auto module = zelk::filter::LoadModule(dir.path(), {state.range(0) != 0, {}});
  state.SetLabel(state.range(0) != 0 ? (module->patterns.get.jit() ? "jit" : "jit unavailable")
                                     : "no jit");
  for (auto _ : state) {
    FakeContext ctx = Request(url, query);
    benchmark::DoNotOptimize(
        zelk::filter::HttpFilterProc(*module, ctx, zelk::filter::kNotifyPreprocHeaders));
  }
}

void BM_BenignScript(benchmark::State& state) {
  RunRequest(state, "/news/show.asp",
             "id=12345&page=2&keyword=%D6%D0%CE%C4&sort=date&order=desc&lang=zh-cn&from=index&t="
             "1700000000");
}
void BM_MatchingScript(benchmark::State& state) {
  RunRequest(state, "/news/show.asp",
             "id=1%20and%201=2%20union%20select%201,username,password%20from%20admin");
}
void BM_StaticFile(benchmark::State& state) { RunRequest(state, "/images/logo.gif", "v=2"); }
void BM_Adversarial16K(benchmark::State& state) {
  RunRequest(state, "/news/show.asp", Adversarial());
}

BENCHMARK(BM_BenignScript)->Arg(1)->Arg(0);
BENCHMARK(BM_MatchingScript)->Arg(1)->Arg(0);
BENCHMARK(BM_StaticFile)->Arg(1)->Arg(0);
BENCHMARK(BM_Adversarial16K)->Arg(1)->Arg(0);

}  // namespace
