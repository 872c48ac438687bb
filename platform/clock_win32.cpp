#include <windows.h>

#include "platform/clock.h"

namespace zelk::platform {

LocalDateTime NowLocal() {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

}  // namespace zelk::platform
