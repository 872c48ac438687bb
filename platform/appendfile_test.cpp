#include "platform/appendfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace zelk::platform {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(AppendFile, AppendsToAnExistingFileOnly) {
  const auto dir = std::filesystem::temp_directory_path() / "zelk-appendfile-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "log.txt").string();
  std::string error;
  EXPECT_EQ(AppendFile::OpenExisting(path, &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(FileExists(path));

  std::ofstream(path, std::ios::binary) << "a\r\n";
  EXPECT_TRUE(FileExists(path));
  auto file = AppendFile::OpenExisting(path, &error);
  ASSERT_NE(file, nullptr) << error;
  ASSERT_TRUE(file->Append("b\r\n", &error)) << error;
  EXPECT_EQ(Slurp(path), "a\r\nb\r\n");
  EXPECT_EQ(AppendFile::OpenExisting(path, &error), nullptr);  // one writer at a time
  file.reset();
  std::filesystem::remove_all(dir);
}

TEST(FileExists, IsFalseForAFolder) {
  EXPECT_FALSE(FileExists(std::filesystem::temp_directory_path().string()));
}

}  // namespace
}  // namespace zelk::platform
