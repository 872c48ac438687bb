// Files for tests: a fresh temporary folder per test, and a file's bytes in
// one call.
#pragma once

#include <string>

namespace zelk::testing {

// A fresh empty folder under the system's temporary folder (an ASCII path,
// with a trailing separator); removed with everything in it by the
// destructor. Not copyable or movable.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The whole file (platform::ReadWholeFile, so a GBK path); empty when it
// cannot be read.
std::string FileBytes(const std::string& path);

}  // namespace zelk::testing
