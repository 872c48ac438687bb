// File times as the manager prints them: local time, 24-hour clock, with the
// user's regional date and time separators in place of "/" and ":".
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace zelk::manager {

// UTC file time (FILETIME ticks) to local calendar time; 1900-01-01 00:00:00
// when the conversion fails.
platform::LocalDateTime FileTimeToLocalDateTime(std::uint64_t file_time);

// "yyyy/mm/dd hh:nn:ss" with the given separators.
std::string FormatSnapshotDateTime(const platform::LocalDateTime& t, char date_separator,
                                   char time_separator);

}  // namespace zelk::manager
