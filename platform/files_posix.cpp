#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/native_path_posix.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace zelk::platform {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDelta = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

std::string Native(const std::string& gbk) { return NativePath(gbk); }
std::string FromNative(const std::string& name) { return FromNativeName(name); }

std::uint64_t ToFileTime(const struct statx_timestamp& t) {
  const std::int64_t ticks = (static_cast<std::int64_t>(t.tv_sec) + kEpochDelta) * kTicksPerSecond +
                             static_cast<std::int64_t>(t.tv_nsec) / 100;
  return ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks);
}

// Fills entry from statx of name relative to dirfd (following links).
bool StatEntry(int dirfd, const char* name, DirEntry* entry) {
  struct statx st {};
  if (::statx(dirfd, name, 0, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return false;
  entry->is_directory = S_ISDIR(st.stx_mode);
  entry->size = st.stx_size;
  entry->last_write_time = ToFileTime(st.stx_mtime);
  entry->creation_time =
      (st.stx_mask & STATX_BTIME) ? ToFileTime(st.stx_btime) : entry->last_write_time;
  return true;
}

}  // namespace

char PathSeparator() { return '/'; }

struct DirEnumerator::State {
  DIR* dir = nullptr;
};

DirEnumerator::DirEnumerator(std::unique_ptr<State> state) : state_(std::move(state)) {}

DirEnumerator::~DirEnumerator() {
  if (state_ && state_->dir) ::closedir(state_->dir);
}

std::unique_ptr<DirEnumerator> DirEnumerator::Open(const std::string& dir) {
  auto state = std::make_unique<State>();
  state->dir = ::opendir(Native(dir + "/").c_str());
  if (state->dir == nullptr) return nullptr;
  return std::unique_ptr<DirEnumerator>(new DirEnumerator(std::move(state)));
}

bool DirEnumerator::Next(DirEntry* entry) {
  for (;;) {
    errno = 0;
    const struct dirent* d = ::readdir(state_->dir);
    if (d == nullptr) return false;
    DirEntry e;
    e.name = FromNative(d->d_name);
    const bool dot = std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0;
    if (dot) {
      e.is_directory = true;
    } else {
      if (!StatEntry(::dirfd(state_->dir), d->d_name, &e))
        continue;  // dangling link, vanished entry
      if (e.is_directory && d->d_type != DT_DIR) {
        // A link to a folder (or a file system without d_type): only real
        // folders are walked.
        struct stat own {};
        if (::fstatat(::dirfd(state_->dir), d->d_name, &own, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISLNK(own.st_mode)) {
          continue;
        }
      }
    }
    *entry = std::move(e);
    return true;
  }
}

bool FindFile(const std::string& path, DirEntry* entry) {
  if (path.empty()) return false;
  DirEntry e;
  if (!StatEntry(AT_FDCWD, Native(path).c_str(), &e)) return false;
  const std::size_t slash = path.find_last_of('/');
  e.name = slash == std::string::npos ? path : path.substr(slash + 1);
  *entry = std::move(e);
  return true;
}

bool FileTimeToLocal(std::uint64_t file_time, LocalDateTime* local) {
  // Windows refuses times with the top bit set and years past 30827.
  if (file_time > 0x7FFFFFFFFFFFFFFFULL) return false;
  const std::int64_t seconds = static_cast<std::int64_t>(file_time / kTicksPerSecond) - kEpochDelta;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr || tm.tm_year + 1900 > 30827) return false;
  *local = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  return true;
}

bool SetLastWriteTime(const std::string& path, std::uint64_t file_time, std::string* error) {
  const std::int64_t ticks = static_cast<std::int64_t>(file_time) - kEpochDelta * kTicksPerSecond;
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(ticks / kTicksPerSecond);
  times[1].tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
  if (::utimensat(AT_FDCWD, Native(path).c_str(), times, 0) != 0) {
    *error = SystemErrorText("utimensat", LastSystemError(), path);
    return false;
  }
  return true;
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectories(const std::string& path) {
  const std::string native = Native(path);
  for (std::size_t i = 1; i <= native.size(); ++i) {
    if (i == native.size() || native[i] == '/') {
      const std::string part = native.substr(0, i);
      if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error) {
  const int fd = ::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = SystemErrorText("open", LastSystemError(), path);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    *error = SystemErrorText("read", EISDIR, path);
    ::close(fd);
    return false;
  }
  std::string out;
  // One allocation for a regular file's present size; the loop still reads
  // to the end, however the file changes meanwhile.
  if (S_ISREG(st.st_mode) && st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = SystemErrorText("read", LastSystemError(), path);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  *bytes = std::move(out);
  return true;
}

namespace {

bool WriteAll(int fd, const std::string& bytes, const std::string& path, std::string* error) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = SystemErrorText("write", LastSystemError(), path);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool OpenAndWrite(const std::string& path, int flags, const std::string& bytes,
                  std::string* error) {
  const int fd = ::open(Native(path).c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = SystemErrorText("open", LastSystemError(), path);
    return false;
  }
  bool ok = WriteAll(fd, bytes, path, error);
  if (::close(fd) != 0 && ok) {
    *error = SystemErrorText("close", LastSystemError(), path);
    ok = false;
  }
  return ok;
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error) {
  return OpenAndWrite(path, O_TRUNC, bytes, error);
}

bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error) {
  return OpenAndWrite(path, O_APPEND, bytes, error);
}

bool RemoveFile(const std::string& path, std::string* error) {
  if (::unlink(Native(path).c_str()) != 0) {
    *error = SystemErrorText("unlink", LastSystemError(), path);
    return false;
  }
  return true;
}

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path = FromNative(std::string(buf, static_cast<std::size_t>(n)));
  return path.substr(0, path.find_last_of('/') + 1);
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::string full = path;
  if (path.front() != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd == nullptr) return path;
    full = FromNative(cwd) + "/" + path;
    std::free(cwd);
  }
  // Parts are split at '/', which is never the second byte of a GBK
  // character (those are 0x40 and above).
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    const std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  if (out.empty() || full.back() == '/') out += '/';
  return out;
}

char DateSeparator() { return '/'; }
char TimeSeparator() { return ':'; }

std::string NativePath(const std::string& gbk) { return IsAscii(gbk) ? gbk : GbkToUtf8(gbk); }

bool DecodeUtf8(std::string_view s, std::u16string* out) {
  out->clear();
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t extra;
    if (c < 0x80) {
      cp = c, extra = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      cp = c & 0x1F, extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      cp = c & 0x0F, extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      cp = c & 0x07, extra = 3;
    } else {
      return false;
    }
    if (i + extra >= s.size() && extra > 0) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

std::string FromNativeName(const std::string& name) {
  std::u16string ignored;
  if (IsAscii(name) || !DecodeUtf8(name, &ignored)) return name;
  return Utf8ToGbk(name);
}

}  // namespace zelk::platform
