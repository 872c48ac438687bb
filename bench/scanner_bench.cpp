// Throughput of the web-shell scanner with the built-in rules, in MB of
// script scanned per second (the "bytes_per_second" column; ms per MB is its
// inverse):
//   - Match: the whole web-shell set (../shared/webshell, both archives)
//     matched in memory, on 1 and 2 threads that share the set;
//   - Walk: the benign part written to a temporary folder and scanned with
//     ScanPaths and 1 or 2 jobs, reading files from disk as zelkwaf-scan does.
// Run: build/native/bench/scanner_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "scanner/scanner.h"
#include "testing/files.h"
#include "testing/webshell_set.h"

namespace {

using zelk::scanner::RuleSet;

const RuleSet& BuiltInRules() {
  static const RuleSet rules = [] {
    RuleSet r;
    std::vector<zelk::scanner::CompileError> errors;
    zelk::scanner::LoadRuleFolders({std::string(ZELK_SOURCE_DIR) + "/scanner/rules"}, &r, &errors);
    return r;
  }();
  return rules;
}

const std::vector<zelk::testing::ArchiveMember>& Set() {
  static const std::vector<zelk::testing::ArchiveMember> members = [] {
    std::vector<zelk::testing::ArchiveMember> m;
    std::string error;
    zelk::testing::ReadWebShellSet(ZELK_SOURCE_DIR, &m, &error);
    return m;
  }();
  return members;
}

void BM_Match(benchmark::State& state) {
  const RuleSet& rules = BuiltInRules();
  const auto& members = Set();
  if (members.empty() || rules.rule_count() == 0) {
    state.SkipWithError("web-shell set or rules absent");
    return;
  }
  std::int64_t bytes = 0;
  for (auto _ : state) {
    for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < members.size();
         i += static_cast<std::size_t>(state.threads())) {
      zelk::scanner::Externals ext;
      ext.filename = members[i].name;
      benchmark::DoNotOptimize(rules.Match(members[i].data, ext));
      bytes += static_cast<std::int64_t>(members[i].data.size());
    }
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Match)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);

class Quiet : public zelk::scanner::ScanObserver {
 public:
  void OnFile(const zelk::scanner::FileResult&, const zelk::scanner::ScanTotals&) override {}
};

void BM_Walk(benchmark::State& state) {
  const RuleSet& rules = BuiltInRules();
  zelk::testing::TempDir dir;
  std::string error;
  // Sixteen folders, so that the walk has some depth to it.
  for (int d = 0; d < 16; ++d) zelk::platform::CreateDirectories(dir.path() + std::to_string(d));
  int n = 0;
  for (const auto& m : Set()) {
    if (m.name.rfind("benign/", 0) != 0) continue;
    const std::string name = m.name.substr(m.name.rfind('/') + 1);
    zelk::platform::WriteWholeFile(dir.path() + std::to_string(n++ % 16) + "/" + name, m.data,
                                   &error);
  }
  if (n == 0) {
    state.SkipWithError("web-shell set absent");
    return;
  }
  zelk::scanner::ScanOptions options;
  options.jobs = static_cast<int>(state.range(0));
  std::int64_t bytes = 0;
  for (auto _ : state) {
    Quiet quiet;
    bytes += static_cast<std::int64_t>(
        zelk::scanner::ScanPaths(rules, {dir.path()}, options, &quiet).bytes_scanned);
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_Walk)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
