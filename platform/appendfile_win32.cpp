#include <windows.h>

#include "platform/appendfile.h"

namespace zelk::platform {
namespace {

// "CreateFileA failed (5): <system text>: <what>"; reads GetLastError itself,
// so call it straight after the failed call.
std::string LastError(const char* call, const std::string& what) {
  const DWORD code = GetLastError();
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string("unknown error");
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return std::string(call) + " failed (" + std::to_string(code) + "): " + message + ": " + what;
}

bool TryOpen(const std::string& path, DWORD access) {
  HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::unique_ptr<AppendFile> AppendFile::OpenExisting(const std::string& path, std::string* error) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the end of
  // the file. Sharing FILE_SHARE_READ only: viewers may read, nobody else may
  // write while the filter holds the log. The handle is not inherited.
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = LastError("CreateFileA", "open for appending " + path);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new AppendFile(h));
}

AppendFile::~AppendFile() { CloseHandle(static_cast<HANDLE>(handle_)); }

bool AppendFile::Append(std::string_view bytes, std::string* error) {
  if (bytes.size() > 0xFFFFFFFFu) {
    *error = "WriteFile: line too long for one write";
    return false;
  }
  // One WriteFile per line hands the whole line to the system in one piece;
  // the system writes it to disk in its own time (no FlushFileBuffers per
  // line, which would wait for the disk on every request).
  DWORD written = 0;
  if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                 nullptr)) {
    *error = LastError("WriteFile", "event log");
    return false;
  }
  if (written != bytes.size()) {
    *error = "WriteFile wrote " + std::to_string(written) + " of " + std::to_string(bytes.size()) +
             " bytes: event log";
    return false;
  }
  return true;
}

bool CanOpenForWriting(const std::string& path) { return TryOpen(path, GENERIC_WRITE); }

bool CanOpenForReading(const std::string& path) { return TryOpen(path, GENERIC_READ); }

}  // namespace zelk::platform
