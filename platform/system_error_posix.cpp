#include <cerrno>
#include <cstring>

#include "platform/system_error.h"

namespace zelk::platform {

std::uint32_t LastSystemError() { return static_cast<std::uint32_t>(errno); }

std::string SystemMessage(std::uint32_t code) {
  // strerrordesc_np is the untranslated description: strerror would follow
  // LC_MESSAGES and could hand back a UTF-8 text inside a GBK one.
  const char* description = ::strerrordesc_np(static_cast<int>(code));
  return description != nullptr ? description : "Unknown error";
}

}  // namespace zelk::platform
