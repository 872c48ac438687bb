// The filter event log "ZelkWAFLog.txt": GBK lines "yyyy.mm.dd HH:NN:ss "
// + message + CR LF, appended through one handle held from load to unload.
// The file is never created, truncated or deleted here.
//
// Thread-safe: every line is written under the recursive log lock, which
// callers take while holding the filter lock, never the other way round.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/appendfile.h"
#include "platform/clock.h"

namespace zelk::filter {

// Raised by WriteLogLine when a line could not be written.
class LogWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string FormatLogTimestamp(const platform::LocalDateTime& t);

class EventLog {
 public:
  using Clock = std::function<platform::LocalDateTime()>;

  EventLog() = default;
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Opens an existing file for appending; false (with *error) when that
  // fails. A missing file is the caller's business (logging stays off).
  bool Open(const std::string& path, std::string* error);
  bool is_open() const { return file_ != nullptr; }
  void Close() { file_.reset(); }

  // Writes one line; throws LogWriteError when the write fails. Does
  // nothing when no file is open.
  void WriteLogLine(std::string_view message);

  void set_clock(Clock clock) { clock_ = std::move(clock); }
  std::recursive_mutex& log_lock() { return log_lock_; }

 private:
  std::recursive_mutex log_lock_;
  std::unique_ptr<platform::AppendFile> file_;
  Clock clock_ = platform::NowLocal;
};

}  // namespace zelk::filter
