#include <windows.h>

#include "platform/appendfile.h"
#include "platform/system_error.h"

namespace zelk::platform {
namespace {

bool TryOpen(const std::string& path, DWORD access) {
  HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    *error = SystemErrorText("CreateFileA (open for appending)", LastSystemError(), path);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(new AppendFile(h, path));
}

AppendFile::~AppendFile() { CloseHandle(static_cast<HANDLE>(handle_)); }

bool AppendFile::Append(std::string_view bytes, std::string* error) {
  if (bytes.size() > 0xFFFFFFFFu) {
    *error = "WriteFile: a line too long for one write: " + path_;
    return false;
  }
  // One WriteFile per line hands the whole line to the system in one piece;
  // the system writes it to disk in its own time (no FlushFileBuffers per
  // line, which would wait for the disk on every request).
  DWORD written = 0;
  if (!WriteFile(static_cast<HANDLE>(handle_), bytes.data(), static_cast<DWORD>(bytes.size()),
                 &written, nullptr)) {
    *error = SystemErrorText("WriteFile", LastSystemError(), path_);
    return false;
  }
  if (written != bytes.size()) {
    *error = "WriteFile wrote " + std::to_string(written) + " of " + std::to_string(bytes.size()) +
             " bytes: " + path_;
    return false;
  }
  return true;
}

bool CanOpenForWriting(const std::string& path) { return TryOpen(path, GENERIC_WRITE); }

bool CanOpenForReading(const std::string& path) { return TryOpen(path, GENERIC_READ); }

}  // namespace zelk::platform
