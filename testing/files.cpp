#include "testing/files.h"

#include <atomic>
#include <chrono>
#include <filesystem>

#include "platform/files.h"

namespace zelk::testing {

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::filesystem::path p =
      std::filesystem::temp_directory_path() /
      ("zelkwaf-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(p);
  path_ = p.string();
  path_ += static_cast<char>(std::filesystem::path::preferred_separator);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string FileBytes(const std::string& path) {
  std::string bytes, error;
  return platform::ReadWholeFile(path, &bytes, &error) ? bytes : std::string();
}

}  // namespace zelk::testing
