// Files, folders and file times as the manager sees them through the ANSI
// file API: every path and name is a GBK byte string.
//
// Windows calls the A functions (FindFirstFileA family, CreateFileA, ...),
// which convert between the ANSI code page and the file system's names.
// Linux does the same at this boundary: names on disk are taken as UTF-8 and
// converted to GBK when read, and GBK paths are converted to UTF-8 before a
// system call. A name on disk that is not valid UTF-8 is passed through as it
// stands; a character GBK cannot hold becomes '?', as with the A functions.
//
// File times are Windows FILETIME values: 100-nanosecond ticks since
// 1601-01-01 UTC. On Linux the creation time is the file system's birth time
// (statx); where the file system keeps none, the last-write time stands in,
// which stays stable as long as the file is not changed.
//
// Errors are the texts of platform/system_error.h ("open failed (13):
// Permission denied: /x/y"), with the path in GBK as it was given.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/clock.h"

namespace zelk::platform {

// '\' on Windows, '/' elsewhere.
char PathSeparator();

struct DirEntry {
  std::string name;  // bare name, GBK
  bool is_directory = false;
  std::uint64_t size = 0;
  std::uint64_t creation_time = 0;    // FILETIME ticks, UTC
  std::uint64_t last_write_time = 0;  // FILETIME ticks, UTC
};

// Enumerates every entry of one folder ("." and ".." included where the
// system reports them, hidden entries too), in the order the file system
// returns them. Windows enumerates dir + "\*.*"; Linux opens dir + "/".
// On Linux a symbolic link is reported as what it points to, except that a
// link to a folder is left out, so that a walk cannot run in circles; links
// that point nowhere are left out too.
// Handed out in a unique_ptr; neither copyable nor movable. Not thread-safe.
class DirEnumerator {
 public:
  // Null when the folder cannot be enumerated (missing, unreadable).
  static std::unique_ptr<DirEnumerator> Open(const std::string& dir);
  ~DirEnumerator();
  DirEnumerator(const DirEnumerator&) = delete;
  DirEnumerator& operator=(const DirEnumerator&) = delete;

  // The next entry; false at the end.
  bool Next(DirEntry* entry);

 private:
  struct State;
  explicit DirEnumerator(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Looks the path itself up (FindFirstFileA with the path as its pattern); the
// entry's name is the path's last part. False when nothing is there.
bool FindFile(const std::string& path, DirEntry* entry);

// FILETIME (UTC) to local calendar time (FileTimeToLocalFileTime, then
// FileTimeToSystemTime); false when either conversion fails.
bool FileTimeToLocal(std::uint64_t file_time, LocalDateTime* local);

// Sets a file's last-write time.
bool SetLastWriteTime(const std::string& path, std::uint64_t file_time, std::string* error);

// Creates the folder and every missing parent. True when the folder exists
// afterwards.
bool CreateDirectories(const std::string& path);
bool DirectoryExists(const std::string& path);

// The whole file; false (with *error) when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error);
// Creates or truncates the file and writes the bytes.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string* error);
// Creates the file when missing, then appends the bytes and closes it again.
bool AppendToFile(const std::string& path, const std::string& bytes, std::string* error);
bool RemoveFile(const std::string& path, std::string* error);

// Folder of the running executable, with its trailing separator.
std::string ExecutableDir();

// The path made absolute against the current folder, its "." and ".." parts
// resolved, as GetFullPathNameA (which Windows calls) does; a trailing
// separator is kept. On Linux the current folder is converted to GBK like
// every name read from the system, so the result is GBK throughout, and
// doubled separators are collapsed. An empty path stays empty.
std::string AbsolutePath(const std::string& path);

// The user's regional date and time separators ('/' and ':' where the system
// has no regional settings).
char DateSeparator();
char TimeSeparator();

}  // namespace zelk::platform
