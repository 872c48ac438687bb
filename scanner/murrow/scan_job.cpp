#include "scanner/murrow/scan_job.h"

#include <chrono>
#include <exception>

#include "platform/files.h"
#include "scanner/murrow/murrow_core.h"

namespace zelk::scanner::murrow {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

class ScanJob::Observer final : public ScanObserver {
 public:
  explicit Observer(ScanJob& job) : job_(job) {}

  void OnFile(const FileResult& r, const ScanTotals& t) override {
    bool found = false;
    if (r.verdict == Verdict::kInfected) {
      Finding f{r.path, r.rules, r.size, 0};
      platform::DirEntry e;
      if (platform::FindFile(r.path, &e)) f.last_write_time = e.last_write_time;
      job_.Log(FindingLine(f.path, f.rules, f.size, FormatStamp(job_.clock_())));
      std::lock_guard<std::mutex> lock(job_.mutex_);
      job_.findings_.push_back(std::move(f));
      found = true;
    }
    {
      std::lock_guard<std::mutex> lock(job_.mutex_);
      job_.status_.totals = t;
    }
    job_.Notify(found);
  }

  bool Cancelled() override { return job_.stop_.load(); }

 private:
  ScanJob& job_;
};

ScanJob::ScanJob(ScanRequest request, std::function<void()> changed, Clock clock)
    : request_(std::move(request)),
      changed_(std::move(changed)),
      clock_(clock ? std::move(clock) : Clock(&platform::NowLocal)),
      thread_([this] { Run(); }) {}

ScanJob::~ScanJob() {
  Stop();
  if (thread_.joinable()) thread_.join();
}

void ScanJob::Stop() { stop_.store(true); }

bool ScanJob::WaitFinished(int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return done_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                        [this] { return status_.finished; });
}

ScanStatus ScanJob::Status() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

std::vector<Finding> ScanJob::TakeFindings() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Finding> out;
  out.swap(findings_);
  return out;
}

std::vector<CompileError> ScanJob::TakeRuleErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<CompileError> out;
  out.swap(rule_errors_);
  return out;
}

void ScanJob::Log(const std::string& line) {
  std::string error;
  if (AppendMurrowLog(request_.log_path, line, &error)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (status_.log_error.empty()) status_.log_error = error;
}

// Findings and the end always reach the window; plain progress at most
// every 100 ms, so that a fast walk does not flood its message queue.
void ScanJob::Notify(bool always) {
  if (!changed_) return;
  const std::int64_t now = NowMs();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!always && now - last_notice_ms_ < 100) return;
    last_notice_ms_ = now;
  }
  changed_();
}

// Nothing may leave the thread: an unexpected failure still ends the scan
// with a summary, as a stopped one.
void ScanJob::Run() {
  const auto start = std::chrono::steady_clock::now();
  ScanTotals totals;
  try {
    RuleSet rules;
    std::vector<CompileError> errors;
    LoadRuleFolders(request_.rule_dirs, &rules, &errors);
    for (const CompileError& e : errors) Log(RuleErrorLine(e, FormatStamp(clock_())));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      rule_errors_ = errors;
      status_.rule_count = rules.rule_count();
      status_.no_rules = rules.rule_count() == 0;
    }
    Notify(true);
    if (rules.rule_count() == 0) {
      Log(NoRulesLine(FormatStamp(clock_())));
    } else {
      Log(ScanStartLine(request_.folder, rules.rule_count(), FormatStamp(clock_())));
      Observer observer(*this);
      totals = ScanPaths(rules, {request_.folder}, request_.options, &observer);
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      Log(ScanEndLine(request_.folder, totals, seconds, FormatStamp(clock_())));
    }
  } catch (const std::exception&) {
    totals.cancelled = true;
  } catch (...) {
    totals.cancelled = true;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!status_.no_rules) status_.totals = totals;
    status_.finished = true;
  }
  done_.notify_all();
  Notify(true);
}

}  // namespace zelk::scanner::murrow
