// Snapshot extraction and the tamper check over trees an attacker can shape
// on Linux: symbolic links that loop or lead out of the web root, names that
// are not valid UTF-8 or have no GBK form, very deep folders, and snapshot
// files cut off in the middle of a line or holding bytes that are not GBK.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"
#include "platform/files.h"
#include "platform/text.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;

class HostileTreeTest : public ::testing::Test {
 protected:
  // Files are made with the system's own calls, so names reach the disk as
  // the given bytes, whatever the platform layer would make of them.
  void MakeFile(const std::string& native_path) {
    FILE* f = std::fopen(native_path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << native_path;
    std::fputs("x", f);
    std::fclose(f);
  }
  SnapshotOutcome Extract(const std::string& masks = "*.*") {
    ui_.answers = {true};
    return RunSnapshotExtraction({site_, snapshot_, masks, 1}, ui_);
  }
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const std::string& l : SplitLines(FileBytes(snapshot_)))
      paths.push_back(SnapshotLinePath(l));
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempDir dir_;
  const std::string site_ = dir_.path() + "site";
  const std::string outside_ = dir_.path() + "outside";
  const std::string snapshot_ = dir_.path() + "snap.txt";
  const std::string log_ = dir_.path() + "newlog.txt";
  testing::FakeUi ui_;
  void SetUp() override {
    ASSERT_EQ(::mkdir(site_.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(outside_.c_str(), 0755), 0);
    MakeFile(outside_ + "/secret.asp");
  }
};

TEST_F(HostileTreeTest, LinksThatLoopOrLeaveTheTreeAreNotWalked) {
  ASSERT_EQ(::mkdir((site_ + "/sub").c_str(), 0755), 0);
  MakeFile(site_ + "/sub/page.asp");
  ASSERT_EQ(::symlink(site_.c_str(), (site_ + "/sub/loop").c_str()), 0);  // back to the root
  ASSERT_EQ(::symlink("self", (site_ + "/self").c_str()), 0);             // to itself
  ASSERT_EQ(::symlink(outside_.c_str(), (site_ + "/out").c_str()), 0);    // out of the tree
  ASSERT_EQ(::symlink("a", (site_ + "/b").c_str()), 0);                   // a to b to a
  ASSERT_EQ(::symlink("b", (site_ + "/a").c_str()), 0);
  const SnapshotOutcome out = Extract();
  EXPECT_FALSE(out.failed);
  EXPECT_EQ(Paths(), std::vector<std::string>{site_ + "/sub/page.asp"});
  for (const std::string& p : Paths()) EXPECT_EQ(p.find("secret"), std::string::npos) << p;

  // The tamper check of that snapshot finds nothing, and neither hangs.
  EXPECT_EQ(RunTamperCheck(snapshot_, log_, ui_).findings, 0);
}

TEST_F(HostileTreeTest, AVeryDeepTreeIsWalkedToTheBottom) {
  std::string folder = site_;
  int depth = 0;
  for (; depth < 400 && folder.size() < 3000; ++depth) {
    folder += "/d";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  }
  MakeFile(folder + "/bottom.asp");
  EXPECT_EQ(Extract().lines, 1);
  EXPECT_EQ(Paths(), std::vector<std::string>{folder + "/bottom.asp"});
  EXPECT_EQ(RunTamperCheck(snapshot_, log_, ui_).findings, 0);
}

// Names the platform cannot give as GBK: bytes that are not UTF-8, and a
// character GBK lacks. Each is recorded once and the walk goes on. Through
// the ANSI file functions (as on Windows) such a name cannot be opened again,
// so the check reports it as deleted: a false alarm, never a silent pass; a
// file with an ordinary name beside them checks clean.
TEST_F(HostileTreeTest, NamesWithoutAGbkFormAreRecordedAndNeverPassSilently) {
  MakeFile(site_ + "/\xff\xfe.asp");
  MakeFile(site_ + "/\xd6\xd0.asp");          // GBK bytes on a UTF-8 system
  MakeFile(site_ + "/\xf0\x9f\x98\x80.asp");  // U+1F600: no GBK form
  MakeFile(site_ + "/plain.asp");
  EXPECT_EQ(Extract().lines, 4);
  const FindingsOutcome out = RunTamperCheck(snapshot_, log_, ui_);
  EXPECT_FALSE(out.failed);
  EXPECT_LE(out.findings, 3);
  for (const std::string& line : out.log_lines) {
    EXPECT_EQ(line.find("plain.asp"), std::string::npos) << line;
    EXPECT_EQ(line.rfind(kFindingDeleted, 0), 0u) << line;
  }
}

class DamagedSnapshotTest : public HostileTreeTest {};

// A snapshot cut off in the middle of its last line: no crash, and that file
// is reported (a line that cannot be rebuilt is never "unchanged").
TEST_F(DamagedSnapshotTest, ALineCutShortIsReportedNeverPassed) {
  MakeFile(site_ + "/a.asp");
  MakeFile(site_ + "/b.asp");
  ASSERT_EQ(Extract().lines, 2);
  const std::string whole = FileBytes(snapshot_);
  for (std::size_t cut :
       {whole.size() - 1, whole.size() - 5, whole.size() - 25, whole.size() - 40}) {
    std::string error;
    ASSERT_TRUE(platform::WriteWholeFile(snapshot_, whole.substr(0, cut), &error));
    const FindingsOutcome out = RunTamperCheck(snapshot_, log_, ui_);
    EXPECT_FALSE(out.failed);
    const std::string last = SplitLines(whole.substr(0, cut)).back();
    if (last == SplitLines(whole).back()) continue;  // only the line end was cut
    EXPECT_EQ(out.findings, 1) << "cut at " << cut;
  }
}

TEST_F(DamagedSnapshotTest, BytesThatAreNotGbkGiveFindingsNotACrash) {
  std::string error;
  const std::string nul(1, '\0');
  ASSERT_TRUE(platform::WriteWholeFile(
      snapshot_,
      site_ + "/\x80\xff\x81.asp,1,x,y\r\n\xfe\xfe\xfe\r\n" + nul + "\x01,\x02,\x03,\x04\r\n",
      &error));
  const FindingsOutcome out = RunTamperCheck(snapshot_, log_, ui_);
  EXPECT_FALSE(out.failed);
  EXPECT_EQ(out.findings, 3);  // none of these files exists: each is reported
}

// A snapshot file that cannot be read ends the check with an error naming
// it, never with the "nothing found" result.
TEST_F(DamagedSnapshotTest, AnUnreadableSnapshotIsAnErrorNotANoChange) {
  for (const std::string& path : {dir_.path() + "missing.txt", site_ /* a folder */}) {
    testing::FakeUi ui;
    const FindingsOutcome out = RunTamperCheck(path, log_, ui);
    EXPECT_TRUE(out.failed) << path;
    ASSERT_EQ(ui.errors.size(), 1u) << path;
    EXPECT_NE(ui.errors[0].find(path), std::string::npos) << ui.errors[0];
    EXPECT_TRUE(ui.statuses.empty()) << path;
  }
}

}  // namespace
}  // namespace zelk::manager
