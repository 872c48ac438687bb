#include "platform/appendfile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "testing/files.h"

namespace zelk::platform {
namespace {

using testing::FileBytes;
using testing::TempDir;

TEST(AppendFile, AppendsToAnExistingFileOnly) {
  TempDir dir;
  const std::string path = dir.path() + "log.txt";
  std::string error;
  EXPECT_EQ(AppendFile::OpenExisting(path, &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(FileExists(path));

  std::ofstream(path, std::ios::binary) << "a\r\n";
  EXPECT_TRUE(FileExists(path));
  auto file = AppendFile::OpenExisting(path, &error);
  ASSERT_NE(file, nullptr) << error;
  ASSERT_TRUE(file->Append("b\r\n", &error)) << error;
  EXPECT_EQ(FileBytes(path), "a\r\nb\r\n");
  EXPECT_EQ(AppendFile::OpenExisting(path, &error), nullptr);  // one writer at a time
}

TEST(FileExists, IsFalseForAFolder) {
  TempDir dir;
  EXPECT_FALSE(FileExists(dir.path()));
}

}  // namespace
}  // namespace zelk::platform
