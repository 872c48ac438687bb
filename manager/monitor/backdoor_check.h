// Back doors caught as they are written: the site monitor hands every created
// or changed file of its types to a BackdoorCheck, which scans it with the
// web-shell scanner's rules on a thread of its own (a scan may take a while on
// a big file, and neither the window nor the watcher may wait for it) and, when
// asked to, moves a new file to the quarantine folder instead of deleting it,
// so that nothing is lost.
//
// Threading rule: Check and the destructor belong to the owner's thread. The
// worker scans and quarantines one file at a time and posts each report to
// the owner's thread, where on_report runs; a report still on its way when
// the check is destroyed is dropped. The destructor waits for the file in
// hand (one scan, bounded by the scanner's size cap and match limits).
//
// Files still being written: a file is scanned only once it has gone
// `settle` without a further Check; a file that cannot be read (Windows
// refuses while its writer holds it) or cannot be moved, and one that changed
// while it was scanned, is tried again after growing waits, up to `attempts`
// tries in all; a file that has vanished, or was a folder, is passed over.
// A file whose size and last-write time are those of its last scan is not
// scanned again: reading a file may itself be reported as a change (its
// access time), which would otherwise scan it without end. WasOwnRead tells
// the monitor which such change was ours, so that it lists none.
//
// Not copyable.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "manager/common/paths.h"
#include "manager/monitor/owner_thread.h"
#include "scanner/yara_rules.h"

namespace zelk::manager {

// What became of one file that was infected or was to be quarantined (a
// clean file left in place is not reported).
struct BackdoorReport {
  std::string path;
  std::vector<std::string> rules;  // the rules that matched; empty: clean
  bool quarantined = false;
  std::string quarantine_id;  // "q7" when quarantined
  std::string error;          // why quarantining failed, when it did
};

struct BackdoorCheckTiming {
  std::chrono::milliseconds settle{300};
  std::chrono::milliseconds first_retry{250};
  std::chrono::milliseconds longest_retry{2000};
  int attempts = 10;  // about 12 s of retries with the waits above
};

// The scanner's built-in rules as the manager finds them: "Murrow\rules" in
// the manager's folder (the release layout, beside Murrow.exe), else the
// "rules" folder beside the running program, where the build copies them and
// where zelkwaf-scan looks (scanner::DefaultRulesDir).
std::string ManagerRulesDir(const ManagerPaths& paths);

class BackdoorCheck {
 public:
  using OnReport = std::function<void(const BackdoorReport&)>;

  BackdoorCheck(OwnerThread& owner, std::unique_ptr<const scanner::RuleSet> rules,
                std::string quarantine_dir, OnReport on_report,
                BackdoorCheckTiming timing = BackdoorCheckTiming());
  ~BackdoorCheck();
  BackdoorCheck(const BackdoorCheck&) = delete;
  BackdoorCheck& operator=(const BackdoorCheck&) = delete;

  // Scans the file once it has settled; with quarantine, moves it to the
  // quarantine folder whatever the verdict (the rules go into its record).
  // A second Check of a waiting file restarts its wait and keeps a
  // quarantine asked for earlier.
  void Check(const std::string& path, bool quarantine);

  // True, once per scan, for a change to a file scanned in the last few
  // seconds whose size and last-write time are still those it was scanned
  // with: the access time its reading set.
  bool WasOwnRead(const std::string& path);

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    bool quarantine = false;
    int tries = 0;
  };

  void Work();
  // One try; false to be tried again later.
  bool Handle(const std::string& path, bool quarantine, bool last_try);
  void Report(BackdoorReport report);
  std::chrono::milliseconds RetryWait(int tries) const;

  OwnerThread& owner_;
  const std::unique_ptr<const scanner::RuleSet> rules_;
  const std::string quarantine_dir_;
  const OnReport on_report_;
  const BackdoorCheckTiming timing_;
  // Read and written on the owner's thread only: reports posted before the
  // destructor ran see it false and are dropped.
  const std::shared_ptr<bool> alive_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::string, Pending> pending_;
  bool stop_ = false;
  // The worker's own: size and last-write time of each file when it was
  // last scanned. Forgotten wholesale past kMaxRemembered files.
  static constexpr std::size_t kMaxRemembered = 20000;
  std::map<std::string, std::pair<std::uint64_t, std::uint64_t>> scanned_;
  struct Read {
    std::uint64_t size, last_write_time;
    std::chrono::steady_clock::time_point at;
  };
  std::map<std::string, Read> reads_;  // under mutex_; one per scan not yet echoed
  std::thread worker_;                 // last: started once everything above is ready
};

}  // namespace zelk::manager
