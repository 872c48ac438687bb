#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/system_error.h"

namespace zelk::platform {
namespace {

std::uint64_t ToTicks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME ToFileTime(std::uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

DirEntry FromFindData(const WIN32_FIND_DATAA& fd) {
  DirEntry e;
  e.name = fd.cFileName;
  e.is_directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  e.size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
  e.creation_time = ToTicks(fd.ftCreationTime);
  e.last_write_time = ToTicks(fd.ftLastWriteTime);
  return e;
}

}  // namespace

char PathSeparator() { return '\\'; }

struct DirEnumerator::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA first{};
  bool have_first = false;
};

DirEnumerator::DirEnumerator(std::unique_ptr<State> state) : state_(std::move(state)) {}

DirEnumerator::~DirEnumerator() {
  if (state_ && state_->find != INVALID_HANDLE_VALUE) ::FindClose(state_->find);
}

std::unique_ptr<DirEnumerator> DirEnumerator::Open(const std::string& dir) {
  auto state = std::make_unique<State>();
  state->find = ::FindFirstFileA((dir + "\\*.*").c_str(), &state->first);
  if (state->find == INVALID_HANDLE_VALUE) return nullptr;
  state->have_first = true;
  return std::unique_ptr<DirEnumerator>(new DirEnumerator(std::move(state)));
}

bool DirEnumerator::Next(DirEntry* entry) {
  if (state_->have_first) {
    state_->have_first = false;
    *entry = FromFindData(state_->first);
    return true;
  }
  WIN32_FIND_DATAA fd{};
  if (!::FindNextFileA(state_->find, &fd)) return false;
  *entry = FromFindData(fd);
  return true;
}

bool FindFile(const std::string& path, DirEntry* entry) {
  if (path.empty()) return false;
  WIN32_FIND_DATAA fd{};
  const HANDLE h = ::FindFirstFileA(path.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::FindClose(h);
  *entry = FromFindData(fd);
  return true;
}

bool FileTimeToLocal(std::uint64_t file_time, LocalDateTime* local) {
  const FILETIME utc = ToFileTime(file_time);
  FILETIME lft;
  SYSTEMTIME st;
  if (!::FileTimeToLocalFileTime(&utc, &lft) || !::FileTimeToSystemTime(&lft, &st)) return false;
  *local = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return true;
}

bool SetLastWriteTime(const std::string& path, std::uint64_t file_time, std::string* error) {
  const HANDLE h =
      ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText("CreateFileA", LastSystemError(), path);
    return false;
  }
  const FILETIME ft = ToFileTime(file_time);
  const bool ok = ::SetFileTime(h, nullptr, nullptr, &ft) != 0;
  if (!ok) *error = SystemErrorText("SetFileTime", LastSystemError(), path);
  ::CloseHandle(h);
  return ok;
}

bool DirectoryExists(const std::string& path) {
  const DWORD attrs = ::GetFileAttributesA(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectories(const std::string& path) {
  // Walk the path's parts by whole characters: the second byte of a GBK
  // character may be 0x5C, the backslash.
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (::IsDBCSLeadByte(c) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if ((c == '\\' || c == '/') && i > 0 && path[i - 1] != ':') {
      ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    }
  }
  ::CreateDirectoryA(path.c_str(), nullptr);
  return DirectoryExists(path);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText("CreateFileA", LastSystemError(), path);
    return false;
  }
  std::string out;
  // One allocation for the file's present size; the loop still reads to the
  // end, however the file changes meanwhile.
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(h, &size) && size.QuadPart > 0 &&
      static_cast<unsigned long long>(size.QuadPart) < out.max_size()) {
    out.reserve(static_cast<std::size_t>(size.QuadPart));
  }
  char buf[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h, buf, sizeof buf, &n, nullptr)) {
      *error = SystemErrorText("ReadFile", LastSystemError(), path);
      ::CloseHandle(h);
      return false;
    }
    if (n == 0) break;
    out.append(buf, n);
  }
  ::CloseHandle(h);
  *bytes = std::move(out);
  return true;
}

namespace {

bool OpenAndWrite(const std::string& path, DWORD access, DWORD disposition,
                  const std::string& bytes, std::string* error) {
  const HANDLE h = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText("CreateFileA", LastSystemError(), path);
    return false;
  }
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!::WriteFile(h, bytes.data() + done, chunk, &n, nullptr)) {
      *error = SystemErrorText("WriteFile", LastSystemError(), path);
      ok = false;
    }
    done += n;
  }
  ::CloseHandle(h);
  return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
  return OpenAndWrite(path, GENERIC_WRITE, CREATE_ALWAYS, bytes, error);
}

bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error) {
  return OpenAndWrite(path, FILE_APPEND_DATA, OPEN_ALWAYS, bytes, error);
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (!::DeleteFileA(path.c_str())) {
    *error = SystemErrorText("DeleteFileA", LastSystemError(), path);
    return false;
  }
  return true;
}

std::string ExecutableDir() {
  char buf[MAX_PATH + 1] = {};
  const DWORD n = ::GetModuleFileNameA(nullptr, buf, MAX_PATH);
  if (n == 0) return ".\\";
  std::string path(buf, n);
  // The last backslash that is not the second byte of a GBK character.
  std::size_t last = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return path.substr(0, last + 1);
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = ::GetFullPathNameA(path.c_str(), size, buffer.data(), nullptr);
    if (n == 0) return path;
    if (n < size) return std::string(buffer.data(), n);
    buffer.resize(n + 1);  // n is the size needed, with the terminating zero
  }
}

namespace {
char LocaleChar(LCTYPE type, char fallback) {
  char buf[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf) > 1) return buf[0];
  return fallback;
}
}  // namespace

char DateSeparator() { return LocaleChar(LOCALE_SDATE, '/'); }
char TimeSeparator() { return LocaleChar(LOCALE_STIME, ':'); }

}  // namespace zelk::platform
