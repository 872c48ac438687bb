#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/appendfile.h"
#include "platform/native_path_posix.h"
#include "platform/system_error.h"

namespace zelk::platform {
namespace {

int Fd(void* handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle)); }

bool TakeWriteLock(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  // An open-file-description lock belongs to this descriptor, so a second
  // open of the same file in this process is refused too, as on Windows.
  return fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::unique_ptr<AppendFile> AppendFile::OpenExisting(const std::string& path, std::string* error) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    *error = SystemErrorText("open", LastSystemError(), path);
    return nullptr;
  }
  if (!TakeWriteLock(fd)) {
    *error = SystemErrorText("fcntl", LastSystemError(), path);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<AppendFile>(
      new AppendFile(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)), path));
}

AppendFile::~AppendFile() { ::close(Fd(handle_)); }

bool AppendFile::Append(std::string_view bytes, std::string* error) {
  const int fd = Fd(handle_);
  ssize_t n = ::write(fd, bytes.data(), bytes.size());
  if (n >= 0 && static_cast<std::size_t>(n) == bytes.size()) {
    // write() hands the bytes to the kernel; there is no user-space buffer to
    // flush, and a disk flush per line is not wanted.
    return true;
  }
  const int err = n < 0 ? LastSystemError() : EFBIG;
  if (n > 0) {
    // A short write (the disk or the file size limit is full): take the
    // piece back, so that the next line, written once there is room again,
    // does not continue a torn one. Only this process writes the file (it
    // holds the write lock), so the piece is the file's last n bytes.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size >= n) {
      if (::ftruncate(fd, st.st_size - n) != 0) {
        // Nothing more can be done; the error below still reports the write.
      }
    }
  }
  *error = SystemErrorText("write", err, path_);
  return false;
}

bool CanOpenForWriting(const std::string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = TakeWriteLock(fd);
  ::close(fd);
  return ok;
}

bool CanOpenForReading(const std::string& path) {
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace zelk::platform
