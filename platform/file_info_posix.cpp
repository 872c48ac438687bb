#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/native_path_posix.h"
#include "platform/system_error.h"

namespace zelk::platform {

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ResolveLink(const std::string& path) {
  char* resolved = ::realpath(NativePath(path).c_str(), nullptr);
  if (resolved == nullptr) return "";
  std::string out = FromNativeName(resolved);
  std::free(resolved);
  return out;
}

bool ReadFileHead(const std::string& path, std::size_t max_bytes, std::string* bytes,
                  std::string* error) {
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = SystemErrorText("open", LastSystemError(), path);
    return false;
  }
  std::string out(max_bytes, '\0');
  std::size_t got = 0;
  while (got < max_bytes) {
    const ssize_t n = ::read(fd, &out[got], max_bytes - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = SystemErrorText("read", LastSystemError(), path);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  *bytes = std::move(out);
  return true;
}

bool MoveFileKeepingTime(const std::string& from, const std::string& to, std::string* error) {
  struct stat st {};
  if (::lstat(NativePath(to).c_str(), &st) == 0) {
    *error = SystemErrorText("rename", EEXIST, to);
    return false;
  }
  if (::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0) return true;
  if (errno != EXDEV) {
    *error = SystemErrorText("rename", LastSystemError(), from);
    return false;
  }
  DirEntry entry;
  std::string bytes;
  if (!FindFile(from, &entry) || !ReadWholeFile(from, &bytes, error) ||
      !WriteWholeFile(to, bytes, error) || !SetLastWriteTime(to, entry.last_write_time, error)) {
    if (error->empty()) *error = "cannot copy " + from;
    return false;
  }
  return RemoveFile(from, error);
}

std::string FileOwner(const std::string& path) {
  struct stat st {};
  if (::stat(NativePath(path).c_str(), &st) != 0) return "";
  // Account look-ups read the system's user database; one per user id and
  // thread is enough.
  thread_local std::map<uid_t, std::string> names;
  const auto found = names.find(st.st_uid);
  if (found != names.end()) return found->second;
  std::vector<char> buf(16384);
  struct passwd pw {};
  struct passwd* result = nullptr;
  std::string name;
  if (::getpwuid_r(st.st_uid, &pw, buf.data(), buf.size(), &result) == 0 && result != nullptr) {
    name = FromNativeName(result->pw_name);
  } else {
    name = std::to_string(st.st_uid);
  }
  names[st.st_uid] = name;
  return name;
}

}  // namespace zelk::platform
