// Links met in a walk (Linux): one leading inside the tree is scanned, one
// leading out of it is reported and not read, and links to folders are not
// followed, so a walk neither leaves its tree nor runs in circles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "platform/files.h"
#include "scanner/scanner.h"
#include "testing/files.h"

namespace zelk::scanner {
namespace {

class Results : public ScanObserver {
 public:
  void OnFile(const FileResult& r, const ScanTotals&) override { verdicts[r.path] = r.verdict; }
  std::map<std::string, Verdict> verdicts;
};

TEST(ScannerLinks, StayInsideTheTreeWalked) {
  testing::TempDir outside, tree;
  std::string error;
  ASSERT_TRUE(
      platform::WriteWholeFile(outside.path() + "secret.php", "<?php eval($_POST[1]);", &error));
  ASSERT_TRUE(platform::CreateDirectories(tree.path() + "site"));
  ASSERT_TRUE(
      platform::WriteWholeFile(tree.path() + "site/real.php", "<?php eval($_POST[1]);", &error));
  ASSERT_EQ(
      ::symlink((outside.path() + "secret.php").c_str(), (tree.path() + "site/out.php").c_str()),
      0);
  ASSERT_EQ(
      ::symlink((tree.path() + "site/real.php").c_str(), (tree.path() + "site/in.php").c_str()), 0);
  ASSERT_EQ(::symlink(outside.path().c_str(), (tree.path() + "site/dirlink").c_str()), 0);
  ASSERT_EQ(::symlink(tree.path().c_str(), (tree.path() + "site/loop").c_str()), 0);
  RuleSet rules;
  std::vector<CompileError> errors;
  ASSERT_TRUE(
      rules.AddSource("t.yar", "rule e { strings: $a = \"eval(\" condition: $a }", &errors));
  Results r;
  const ScanTotals t = ScanPaths(rules, {tree.path()}, ScanOptions{}, &r);
  const std::map<std::string, Verdict> expected = {
      {tree.path() + "site/real.php", Verdict::kInfected},
      {tree.path() + "site/in.php", Verdict::kInfected},
      {tree.path() + "site/out.php", Verdict::kOutsideTree},
  };
  EXPECT_EQ(r.verdicts, expected);
  EXPECT_EQ(t.outside_tree, 1u);
  EXPECT_EQ(t.infected, 2u);
}

TEST(ScannerLinks, UnreadableFilesAreCountedErrors) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  testing::TempDir dir;
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(dir.path() + "locked.php", "<?php", &error));
  ASSERT_EQ(::chmod((dir.path() + "locked.php").c_str(), 0), 0);
  RuleSet rules;
  Results r;
  const ScanTotals t = ScanPaths(rules, {dir.path()}, ScanOptions{}, &r);
  EXPECT_EQ(t.errors, 1u);
  EXPECT_EQ(r.verdicts[dir.path() + "locked.php"], Verdict::kError);
}

}  // namespace
}  // namespace zelk::scanner
