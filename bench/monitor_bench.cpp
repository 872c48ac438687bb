// How many created files per second the site monitor keeps up with on this
// system without losing events: the real watcher (inotify on Linux), the
// real monitor (mask test, line, log append per line), a writer thread
// creating small files in the watched folder, the monitor on this thread.
//
//  BM_MonitorBurst/N: N files as fast as the writer can make them; the time
//    is until the last "新建" line was handled. written_per_s is the
//    writer's pace, handled_per_s the monitor's; lost says whether the
//    system dropped events (the monitor fell more than the kernel's queue
//    behind). Each file brings two events (created, modified), each
//    "新建" line one log append.
//  BM_MonitorSustained/R: R files per second for two seconds, paced.
//  BM_MonitorDrain: 8,000 files (16,000 events, just inside the kernel's
//    default queue of 16,384) made while the monitor's thread is held up,
//    then handled: the monitor's own pace, without a writer competing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "manager/common/ui.h"
#include "manager/monitor/site_monitor.h"
#include "platform/files.h"
#include "testing/files.h"

namespace {

using zelk::manager::EventLoop;
using zelk::manager::SiteMonitor;

class QuietUi : public zelk::manager::ManagerUi {
 public:
  void ShowMessage(const std::string&, const std::string&, int) override {}
  void ShowError(const std::string&) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return true; }
  void SetStatus(const std::string&) override {}
  bool Progress(long, const std::string&) override { return true; }
  bool ChooseFolder(const std::string&, std::string*) override { return false; }
  bool ChooseFile(const zelk::manager::FileDialog&, std::string*) override { return false; }
  void OpenFile(const std::string&) override {}
};

// Counts the lines instead of keeping them, as a capped list would.
class CountingPage : public zelk::manager::MonitorPage {
 public:
  long added = 0;
  bool lost = false;
  std::string MonitorDirText() override { return {}; }
  void SetMonitorDirText(const std::string&) override {}
  std::string MonitorMaskText() override { return {}; }
  bool DeleteNewFilesChecked() override { return false; }
  void SetMonitorButtonCaption(const std::string&) override {}
  void InsertMonitorLine(const std::string& line) override {
    if (line.rfind("新建 ", 0) == 0) ++added;
    if (line.rfind("丢失 ", 0) == 0) lost = true;
  }
  void SaveMonitorSettings() override {}
  void ShowMonitorNotice(const std::string&) override {}
};

struct Result {
  double write_seconds = 0;   // first file to last file
  double handle_seconds = 0;  // first file to last line
  bool lost = false;
};

// One round: the writer makes `files` files, paced at `rate` per second
// (0: unpaced).
Result Round(long files, long rate) {
  zelk::testing::TempDir scratch;
  const std::string site = scratch.path() + "www" + zelk::platform::PathSeparator();
  zelk::platform::CreateDirectories(site);
  const std::string log = scratch.path() + "newmonlog.txt";
  EventLoop loop;
  QuietUi ui;
  CountingPage page;
  SiteMonitor monitor(loop, ui, page, log);
  monitor.Start(site, "*.asp", false);

  Result result;
  const auto start = std::chrono::steady_clock::now();
  std::thread writer([&] {
    for (long i = 0; i < files; ++i) {
      if (rate > 0) {
        std::this_thread::sleep_until(start + std::chrono::microseconds(i * 1000000 / rate));
      }
      std::ofstream(site + "f" + std::to_string(i) + ".asp") << "<%x%>";
    }
    result.write_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
  loop.RunUntil([&] { return page.lost || page.added >= files; }, std::chrono::seconds(300));
  result.handle_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  writer.join();
  result.lost = page.lost || page.added < files;
  return result;
}

void Report(benchmark::State& state, long files, double write_seconds, double handle_seconds,
            bool lost) {
  state.counters["written_per_s"] = static_cast<double>(files) / write_seconds;
  state.counters["handled_per_s"] = static_cast<double>(files) / handle_seconds;
  state.counters["lost"] = lost ? 1 : 0;
}

void BM_MonitorBurst(benchmark::State& state) {
  const long files = state.range(0);
  double write = 0, handle = 0;
  bool lost = false;
  for (auto _ : state) {
    const Result r = Round(files, 0);
    state.SetIterationTime(r.handle_seconds);
    write += r.write_seconds;
    handle += r.handle_seconds;
    lost = lost || r.lost;
  }
  Report(state, files * state.iterations(), write, handle, lost);
}
BENCHMARK(BM_MonitorBurst)
    ->Arg(5000)
    ->Arg(20000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_MonitorSustained(benchmark::State& state) {
  const long rate = state.range(0);
  double write = 0, handle = 0;
  bool lost = false;
  for (auto _ : state) {
    const Result r = Round(rate * 2, rate);
    state.SetIterationTime(r.handle_seconds);
    write += r.write_seconds;
    handle += r.handle_seconds;
    lost = lost || r.lost;
  }
  Report(state, rate * 2 * state.iterations(), write, handle, lost);
}
void BM_MonitorDrain(benchmark::State& state) {
  constexpr long kFiles = 8000;
  bool lost = false;
  double seconds = 0;
  for (auto _ : state) {
    zelk::testing::TempDir scratch;
    const std::string site = scratch.path() + "www" + zelk::platform::PathSeparator();
    zelk::platform::CreateDirectories(site);
    EventLoop loop;
    QuietUi ui;
    CountingPage page;
    SiteMonitor monitor(loop, ui, page, scratch.path() + "newmonlog.txt");
    monitor.Start(site, "*.asp", false);
    for (long i = 0; i < kFiles; ++i) {
      std::ofstream(site + "f" + std::to_string(i) + ".asp") << "<%x%>";
    }
    const auto start = std::chrono::steady_clock::now();
    loop.RunUntil([&] { return page.lost || page.added >= kFiles; }, std::chrono::seconds(300));
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    seconds += s;
    lost = lost || page.lost || page.added < kFiles;
  }
  state.counters["handled_per_s"] = static_cast<double>(kFiles * state.iterations()) / seconds;
  state.counters["lost"] = lost ? 1 : 0;
}
BENCHMARK(BM_MonitorDrain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_MonitorSustained)
    ->Arg(2000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
