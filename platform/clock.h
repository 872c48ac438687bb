// Local wall-clock time, as the logs print it.
#pragma once

namespace zelk::platform {

struct LocalDateTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

LocalDateTime NowLocal();

}  // namespace zelk::platform
