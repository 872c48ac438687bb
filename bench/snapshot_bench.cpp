// Snapshot extraction and tamper check per 10,000 files, against a plain walk
// of the same tree that prints the same fields (GNU find -printf), as the
// baseline of what enumerating and stat-ing the tree costs anyway.
// Run: build/native/bench/snapshot_bench
// The ratio is Extraction (or Check) time over FindPrintf time. Extraction
// opens, appends to and closes the snapshot file once per line by design.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "manager/common/ui.h"
#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"
#include "platform/files.h"
#include "testing/files.h"

namespace {

namespace mgr = zelk::manager;
using zelk::testing::TempDir;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;  // 10,000 files in all

class QuietUi : public mgr::ManagerUi {
 public:
  void ShowMessage(const std::string&, const std::string&, int) override {}
  void ShowError(const std::string& text) override { error = text; }
  bool AskYesNo(const std::string&, const std::string&) override { return true; }  // overwrite
  void SetStatus(const std::string&) override {}
  bool Progress(long, const std::string&) override { return true; }
  bool ChooseFolder(const std::string&, std::string*) override { return false; }
  bool ChooseFile(const mgr::FileDialog&, std::string*) override { return false; }
  void OpenFile(const std::string&) override {}
  std::string error;
};

// The tree: 100 folders of 100 files, with .asp names (recorded) and a few
// other files per folder that the masks skip.
struct Tree {
  TempDir dir;
  std::string site = dir.path() + "site";
  std::string snapshot = dir.path() + "snap.txt";
  std::string log = dir.path() + "newlog.txt";
  Tree() {
    std::string error;
    for (int f = 0; f < kFolders; ++f) {
      const std::string folder = site + "/d" + std::to_string(f);
      zelk::platform::CreateDirectories(folder);
      for (int i = 0; i < kFilesPerFolder; ++i) {
        zelk::platform::WriteWholeFile(folder + "/page" + std::to_string(i) + ".asp", "<% x %>",
                                       &error);
      }
      zelk::platform::WriteWholeFile(folder + "/style.css", "x", &error);
    }
  }
};

Tree& SharedTree() {
  static Tree tree;  // removed again when the program ends
  return tree;
}

void Extraction(benchmark::State& state) {
  Tree& t = SharedTree();
  QuietUi ui;
  for (auto _ : state) {
    const auto out = mgr::RunSnapshotExtraction({t.site, t.snapshot, "*.asp,*.asa,*.inc", 1}, ui);
    if (out.lines != kFolders * kFilesPerFolder) state.SkipWithError("wrong line count");
  }
  state.counters["files"] = kFolders * kFilesPerFolder;
}
BENCHMARK(Extraction)->Unit(benchmark::kMillisecond)->UseRealTime();

void Check(benchmark::State& state) {
  Tree& t = SharedTree();
  QuietUi ui;
  mgr::RunSnapshotExtraction({t.site, t.snapshot, "*.asp,*.asa,*.inc", 1}, ui);
  for (auto _ : state) {
    const auto out = mgr::RunTamperCheck(t.snapshot, t.log, ui);
    if (out.failed || out.findings != 0) state.SkipWithError("unexpected findings");
  }
  state.counters["files"] = kFolders * kFilesPerFolder;
}
BENCHMARK(Check)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: one walk printing path, size, birth and modification times.
void FindPrintf(benchmark::State& state) {
  Tree& t = SharedTree();
  const std::string cmd = "find '" + t.site + "' -type f -name '*.asp' -printf " +
                          "'%p,%s,%BY/%Bm/%Bd %BH:%BM:%BS,%TY/%Tm/%Td %TH:%TM:%TS\\n' > '" +
                          t.dir.path() + "find.txt'";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("find failed");
  }
  state.counters["files"] = kFolders * kFilesPerFolder;
}
BENCHMARK(FindPrintf)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
