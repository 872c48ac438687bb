#include "manager/monitor/backdoor_check.h"

#include <algorithm>
#include <exception>

#include "platform/files.h"
#include "scanner/quarantine.h"
#include "scanner/scanner.h"

namespace zelk::manager {

std::string ManagerRulesDir(const ManagerPaths& paths) {
  return platform::DirectoryExists(paths.ScannerRulesDir) ? paths.ScannerRulesDir
                                                          : scanner::DefaultRulesDir();
}

BackdoorCheck::BackdoorCheck(OwnerThread& owner, std::unique_ptr<const scanner::RuleSet> rules,
                             std::string quarantine_dir, OnReport on_report,
                             BackdoorCheckTiming timing)
    : owner_(owner),
      rules_(std::move(rules)),
      quarantine_dir_(std::move(quarantine_dir)),
      on_report_(std::move(on_report)),
      timing_(timing),
      alive_(std::make_shared<bool>(true)),
      worker_([this] { Work(); }) {}

BackdoorCheck::~BackdoorCheck() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  worker_.join();
  *alive_ = false;
}

void BackdoorCheck::Check(const std::string& path, bool quarantine) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Pending& p = pending_[path];
    p.due = std::chrono::steady_clock::now() + timing_.settle;
    p.quarantine = p.quarantine || quarantine;
  }
  wake_.notify_all();
}

bool BackdoorCheck::WasOwnRead(const std::string& path) {
  constexpr auto kEchoWindow = std::chrono::seconds(5);
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = reads_.find(path);
  if (it == reads_.end()) return false;
  const Read read = it->second;
  reads_.erase(it);
  platform::DirEntry now;
  return std::chrono::steady_clock::now() - read.at < kEchoWindow &&
         platform::FindFile(path, &now) && now.size == read.size &&
         now.last_write_time == read.last_write_time;
}

std::chrono::milliseconds BackdoorCheck::RetryWait(int tries) const {
  std::chrono::milliseconds wait = timing_.first_retry;
  for (int i = 0; i < tries && wait < timing_.longest_retry; ++i) wait *= 2;
  return std::min(wait, timing_.longest_retry);
}

void BackdoorCheck::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    if (pending_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const auto next =
        std::min_element(pending_.begin(), pending_.end(),
                         [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
    if (next->second.due > std::chrono::steady_clock::now()) {
      wake_.wait_until(lock, next->second.due);
      continue;
    }
    const std::string path = next->first;
    const Pending taken = next->second;
    pending_.erase(next);
    lock.unlock();
    const bool last_try = taken.tries + 1 >= timing_.attempts;
    bool done = true;
    try {
      done = Handle(path, taken.quarantine, last_try);
    } catch (const std::exception&) {
      // Out of memory while reading a file, or the like: this file is passed
      // over, the thread goes on with the next.
    }
    lock.lock();
    if (!done) {
      // A Check that came meanwhile has queued the file already (with a
      // fresh wait); otherwise it waits its turn for another try.
      const auto [it, inserted] = pending_.try_emplace(path);
      if (inserted) it->second.due = std::chrono::steady_clock::now() + RetryWait(taken.tries);
      it->second.tries = taken.tries + 1;
      it->second.quarantine = it->second.quarantine || taken.quarantine;
    }
  }
}

bool BackdoorCheck::Handle(const std::string& path, bool quarantine, bool last_try) {
  platform::DirEntry before;
  if (!platform::FindFile(path, &before) || before.is_directory) return true;
  const std::pair<std::uint64_t, std::uint64_t> state(before.size, before.last_write_time);
  const auto seen = scanned_.find(path);
  if (!quarantine && seen != scanned_.end() && seen->second == state) return true;
  {
    // Before reading: the change the reading causes may reach the monitor
    // before this scan ends.
    std::lock_guard<std::mutex> lock(mutex_);
    if (reads_.size() >= kMaxRemembered) reads_.clear();
    reads_[path] = {before.size, before.last_write_time, std::chrono::steady_clock::now()};
  }
  const scanner::FileResult scanned = scanner::ScanFile(*rules_, path, scanner::ScanOptions());
  if (scanned.verdict == scanner::Verdict::kError) {
    if (!last_try) return false;
    if (quarantine) Report({path, {}, false, "", scanned.error});
    return true;
  }
  platform::DirEntry after;
  if (!platform::FindFile(path, &after)) return true;  // removed while it was read
  if (!last_try && (after.size != before.size || after.last_write_time != before.last_write_time)) {
    return false;  // still being written
  }
  if (scanned_.size() >= kMaxRemembered) scanned_.clear();
  scanned_[path] = state;

  BackdoorReport report;
  report.path = path;
  report.rules = scanned.rules;
  if (quarantine) {
    scanner::QuarantineEntry entry;
    std::string error;
    if (scanner::QuarantineFile(path, quarantine_dir_, report.rules, &entry, &error)) {
      report.quarantined = true;
      report.quarantine_id = entry.id;
      scanned_.erase(path);
    } else if (!last_try && platform::FindFile(path, &after)) {
      return false;  // held open by its writer, most likely
    } else {
      report.error = error;
    }
  }
  if (!report.rules.empty() || quarantine) Report(std::move(report));
  return true;
}

void BackdoorCheck::Report(BackdoorReport report) {
  owner_.Post([alive = alive_, on_report = on_report_, report = std::move(report)] {
    if (*alive) on_report(report);
  });
}

}  // namespace zelk::manager
