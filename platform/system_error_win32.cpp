#include <windows.h>

#include "platform/system_error.h"

namespace zelk::platform {

std::uint32_t LastSystemError() { return ::GetLastError(); }

std::string SystemErrorText(const char* call, std::uint32_t code, const std::string& path) {
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
  std::string text = std::string(call) + " failed (" + std::to_string(code) + "): " + message;
  if (!path.empty()) text += ": " + path;
  return text;
}

}  // namespace zelk::platform
