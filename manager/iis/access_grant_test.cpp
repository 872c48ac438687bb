// Runs natively and under Wine: the results the procedures rely on, not the
// exact access lists or permission bits (access_grant_posix_test.cpp checks
// those where they are ours).
#include "manager/iis/access_grant.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::TempDir;

void Write(const std::string& path) {
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(path, "x", &error)) << error;
}

TEST(GrantFileAccess, RefusesWhatItCannotGrant) {
  TempDir dir;
  const std::string file = dir.path() + "ZelkWAF.ini";
  Write(file);
  EXPECT_FALSE(GrantFileAccess(kEveryone, "", kGenericRead));
  EXPECT_FALSE(GrantFileAccess(kEveryone, "   ", kGenericRead));
  EXPECT_FALSE(GrantFileAccess(kEveryone, dir.path() + "missing.dst", kGenericRead));
  EXPECT_FALSE(GrantFileAccess("NoSuchAccountZelk7", file, kGenericRead));
}

TEST(GrantFileAccess, GrantsAFileRepeatedlyAndThroughSurroundingBlanks) {
  TempDir dir;
  const std::string file = dir.path() + "ZelkWAFLog.txt";
  Write(file);
  EXPECT_TRUE(GrantFileAccess(kEveryone, file, kGenericRead | kGenericWrite));
  EXPECT_TRUE(GrantFileAccess(kEveryone, file, kGenericRead | kGenericWrite));
  EXPECT_TRUE(GrantFileAccess(kEveryone, " " + file + " ", kGenericRead));
}

TEST(GrantFileAccess, GrantsAFolderTree) {
  TempDir dir;
  const char sep = platform::PathSeparator();
  const std::string root = dir.path() + "IIS";
  ASSERT_TRUE(platform::CreateDirectories(root + sep + "sub"));
  Write(root + sep + "ZelkWAF.dll");
  Write(root + sep + "sub" + sep + "a.txt");
  Write(root + sep + ".hidden");
  EXPECT_TRUE(GrantFileAccess(kEveryone, root, kGenericRead));
  EXPECT_TRUE(GrantFileAccess(kEveryone, root + sep, kGenericRead));
}

}  // namespace
}  // namespace zelk::manager
