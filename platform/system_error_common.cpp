#include <cstdio>

#include "platform/system_error.h"

namespace zelk::platform {

std::string SystemErrorText(const char* call, std::uint32_t code, const std::string& path) {
  // Codes with the top bit set are COM's HRESULTs, which are read in hex.
  char number[16];
  std::snprintf(number, sizeof number, code >= 0x80000000u ? "0x%08X" : "%u",
                static_cast<unsigned>(code));
  std::string text = std::string(call) + " failed (" + number + "): " + SystemMessage(code);
  if (!path.empty()) text += ": " + path;
  return text;
}

}  // namespace zelk::platform
