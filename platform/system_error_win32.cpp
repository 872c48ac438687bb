#include <windows.h>

#include "platform/system_error.h"

namespace zelk::platform {

std::uint32_t LastSystemError() { return ::GetLastError(); }

std::string SystemMessage(std::uint32_t code) {
  char* buffer = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string message = n > 0 && buffer != nullptr ? std::string(buffer, n) : "Unknown error";
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}

}  // namespace zelk::platform
