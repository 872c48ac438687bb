#include "manager/common/date_time.h"

#include <cstdio>

#include "platform/files.h"

namespace zelk::manager {

platform::LocalDateTime FileTimeToLocalDateTime(std::uint64_t file_time) {
  platform::LocalDateTime t;
  if (!platform::FileTimeToLocal(file_time, &t)) return {1900, 1, 1, 0, 0, 0};
  return t;
}

std::string FormatSnapshotDateTime(const platform::LocalDateTime& t, char date_separator,
                                   char time_separator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%c%02d%c%02d %02d%c%02d%c%02d", t.year, date_separator,
                t.month, date_separator, t.day, t.hour, time_separator, t.minute, time_separator,
                t.second);
  return buf;
}

}  // namespace zelk::manager
