// One scan of a folder on a worker thread, for the window: loads the rule
// folders, walks and matches (scanner.h), keeps the findings for the window
// to collect, and appends the scan's lines to the log (start, every finding,
// and the summary; rule errors too).
//
// Threading rule: the job starts its thread when constructed; Status,
// TakeFindings, TakeRuleErrors and Stop may be called from any thread. The
// `changed` callback runs on the worker thread (after the rules are loaded,
// for each finding, at most every 100 ms for progress, and once at the end)
// and must only hand the news on (a posted window message). The destructor
// stops the scan and waits for the thread. Neither copied nor moved.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "scanner/scanner.h"

namespace zelk::scanner::murrow {

struct Finding {
  std::string path;
  std::vector<std::string> rules;
  std::uint64_t size = 0;
  std::uint64_t last_write_time = 0;  // FILETIME ticks, UTC; 0 when unknown
};

struct ScanRequest {
  std::vector<std::string> rule_dirs;  // the built-in folder first
  std::string folder;
  std::string log_path;
  ScanOptions options;
};

struct ScanStatus {
  ScanTotals totals;
  std::size_t rule_count = 0;
  bool finished = false;
  bool no_rules = false;  // finished without scanning: no rule compiled
  std::string log_error;  // the first failure to write the log, if any
};

class ScanJob {
 public:
  using Clock = std::function<platform::LocalDateTime()>;

  ScanJob(ScanRequest request, std::function<void()> changed, Clock clock = {});
  ~ScanJob();
  ScanJob(const ScanJob&) = delete;
  ScanJob& operator=(const ScanJob&) = delete;

  // Asks the scan to end: files being matched are finished, no new ones
  // start; the summary line says it was stopped.
  void Stop();
  // Waits until the scan has ended; false when the time ran out first.
  bool WaitFinished(int timeout_ms);

  ScanStatus Status() const;
  // The findings reported since the last call, in the order found.
  std::vector<Finding> TakeFindings();
  // The rule errors, once (empty on later calls).
  std::vector<CompileError> TakeRuleErrors();

 private:
  class Observer;
  void Run();
  void Log(const std::string& line);
  void Notify(bool always);

  const ScanRequest request_;
  const std::function<void()> changed_;
  const Clock clock_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::condition_variable done_;
  ScanStatus status_;
  std::vector<Finding> findings_;
  std::vector<CompileError> rule_errors_;
  std::int64_t last_notice_ms_ = 0;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace zelk::scanner::murrow
