#include "filter/eventlog.h"

#include <cstdio>

namespace zelk::filter {

std::string FormatLogTimestamp(const platform::LocalDateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d.%02d.%02d %02d:%02d:%02d ", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

bool EventLog::Open(const std::string& path, std::string* error) {
  file_ = platform::AppendFile::OpenExisting(path, error);
  return file_ != nullptr;
}

void EventLog::WriteLogLine(std::string_view message) {
  std::lock_guard<std::recursive_mutex> hold(log_lock_);
  if (!file_) return;
  std::string line = FormatLogTimestamp(clock_());
  line.append(message);
  line.append("\r\n");
  std::string error;
  if (!file_->Append(line, &error)) throw LogWriteError(error);
}

}  // namespace zelk::filter
