// The permission bits that stand in for access lists on this system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "manager/iis/access_grant.h"
#include "platform/files.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::TempDir;

mode_t Mode(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::string Make(const std::string& path, mode_t mode) {
  std::string error;
  EXPECT_TRUE(platform::WriteWholeFile(path, "x", &error)) << error;
  ::chmod(path.c_str(), mode);
  return path;
}

TEST(GrantFileAccessPosix, AddsTheBitsTheMaskAsksForAndTakesNoneAway) {
  const struct {
    mode_t before;
    std::uint32_t mask;
    mode_t after;
  } cases[] = {
      {0600, kGenericRead, 0644},
      {0600, kGenericRead | kGenericExecute, 0755},
      {0600, kGenericRead | kGenericWrite, 0666},
      {0700, kGenericRead, 0744},
      {0000, kGenericAll, 0777},
      {0640, 0, 0640},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const std::string file = Make(dir.path() + "f", c.before);
    EXPECT_TRUE(GrantFileAccess("everyone", file, c.mask));
    EXPECT_EQ(Mode(file), c.after) << std::oct << c.before << " mask " << std::hex << c.mask;
  }
}

TEST(GrantFileAccessPosix, WalksAFolderSkippingDotNames) {
  TempDir dir;
  const std::string root = dir.path() + "IIS";
  ASSERT_TRUE(platform::CreateDirectories(root + "/sub"));
  ::chmod((root + "/sub").c_str(), 0700);
  ::chmod(root.c_str(), 0700);
  const std::string dll = Make(root + "/ZelkWAF.dll", 0600);
  const std::string deep = Make(root + "/sub/a.txt", 0600);
  const std::string hidden = Make(root + "/.hidden", 0600);
  ASSERT_TRUE(GrantFileAccess(kEveryone, root + "/", kGenericRead));
  EXPECT_EQ(Mode(root), 0755u);
  EXPECT_EQ(Mode(root + "/sub"), 0755u);
  EXPECT_EQ(Mode(dll), 0644u);
  EXPECT_EQ(Mode(deep), 0644u);
  EXPECT_EQ(Mode(hidden), 0600u);
}

TEST(GrantFileAccessPosix, AFolderThatCannotBeListedLeavesItselfAlone) {
  if (::geteuid() == 0) GTEST_SKIP() << "root lists every folder";
  TempDir dir;
  const std::string root = dir.path() + "locked";
  ASSERT_TRUE(platform::CreateDirectories(root));
  ::chmod(root.c_str(), 0300);
  EXPECT_FALSE(GrantFileAccess(kEveryone, root, kGenericRead));
  EXPECT_EQ(Mode(root), 0300u);
  ::chmod(root.c_str(), 0700);
}

}  // namespace
}  // namespace zelk::manager
