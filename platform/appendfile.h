// A log file held open for appending from load to unload.
//
// Opening never creates the file. While it is open, other programs may read
// it but not write it: on Windows through the share mode (FILE_SHARE_READ);
// elsewhere through an exclusive advisory write lock (fcntl), which programs
// that ask for a write lock respect. Each Append is one write call of the
// whole line followed by a flush to the operating system, so a line is
// complete in the file when Append returns and lines never interleave.
//
// Handed out in a unique_ptr; neither copyable nor movable. Not thread-safe:
// callers serialise appends.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace zelk::platform {

bool FileExists(const std::string& path);

class AppendFile {
 public:
  // Opens an existing file; on failure returns null and sets *error (see
  // platform/system_error.h).
  static std::unique_ptr<AppendFile> OpenExisting(const std::string& path, std::string* error);

  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Writes the bytes at the end of the file in one call and flushes them.
  // Returns false (with *error) when the write was short or failed; a short
  // write is taken back where the system allows (Linux), so a failed append
  // leaves no piece of a line behind.
  bool Append(std::string_view bytes, std::string* error);

 private:
  AppendFile(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  void* handle_;
  const std::string path_;  // named in error texts
};

// Tries to open the file for writing the way another program would, honouring
// the sharing rule above; true when that succeeds. Used to check the rule.
bool CanOpenForWriting(const std::string& path);
bool CanOpenForReading(const std::string& path);

}  // namespace zelk::platform
