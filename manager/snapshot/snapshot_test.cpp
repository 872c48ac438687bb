// Snapshot extraction over real temporary trees.
#include "manager/snapshot/snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "manager/common/date_time.h"
#include "platform/text.h"
#include "testing/fake_ui.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::FileBytes;
using testing::TempDir;

// 2021-06-01 12:00:00 UTC as FILETIME ticks.
constexpr std::uint64_t kJune1 = (1622548800ULL + 11644473600ULL) * 10000000ULL;

class SnapshotTest : public ::testing::Test {
 protected:
  SnapshotTest() : sep_(platform::PathSeparator()), site_(dir_.path() + "site") {}

  // Creates site/<relative> (relative written with '/') holding size bytes.
  std::string Make(const std::string& relative, std::size_t size = 1) {
    std::string path = site_;
    std::string part;
    for (char c : "/" + relative) {
      if (c == '/') {
        if (!part.empty()) path += sep_ + part;
        part.clear();
      } else {
        part += c;
      }
    }
    path += sep_ + part;
    platform::CreateDirectories(path.substr(0, path.rfind(sep_)));
    std::string error;
    EXPECT_TRUE(platform::WriteWholeFile(path, std::string(size, 'x'), &error)) << error;
    EXPECT_TRUE(platform::SetLastWriteTime(path, kJune1, &error)) << error;
    return path;
  }

  SnapshotOutcome Run(const std::string& masks, int limit_mib = 1, const std::string& start = "") {
    SnapshotJob job;
    job.dir = start.empty() ? site_ : start;
    job.snapshot_path = snapshot_;
    job.mask_text = masks;
    job.size_limit_mib = limit_mib;
    return RunSnapshotExtraction(job, ui_);
  }

  std::vector<std::string> Lines() { return SplitLines(FileBytes(snapshot_)); }

  std::vector<std::string> SortedPaths() {
    std::vector<std::string> paths;
    for (const std::string& l : Lines()) paths.push_back(SnapshotLinePath(l));
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempDir dir_;
  const char sep_;
  const std::string site_;
  const std::string snapshot_ = dir_.path() + "out" + platform::PathSeparator() + "snap.txt";
  testing::FakeUi ui_;
};

TEST_F(SnapshotTest, RecordsFilesMatchingTheMasksInEveryFolderWithTheLineFormat) {
  const std::string a = Make("a.asp", 5);
  Make("b.txt");
  Make("x.as");  // passes the extension pre-filter, matches no mask
  Make("noext");
  const std::string c = Make("sub/c.ASA");
  const std::string d = Make(".git/d.inc");
  const std::string e = Make("sub/deeper/e.inc");
  const SnapshotOutcome out = Run("*.asp,*.asa,*.inc");
  EXPECT_TRUE(out.started);
  EXPECT_FALSE(out.failed);
  EXPECT_EQ(out.lines, 4);
  std::vector<std::string> expected = {a, c, d, e};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedPaths(), expected);

  const std::string raw = FileBytes(snapshot_);
  ASSERT_EQ(raw.size() >= 2 ? raw.substr(raw.size() - 2) : raw, "\r\n");
  const std::string modified = FormatSnapshotDateTime(FileTimeToLocalDateTime(kJune1), '/', ':');
  for (const std::string& line : Lines()) {
    if (SnapshotLinePath(line) != a) continue;
    const std::regex format("5,\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d," + modified);
    EXPECT_EQ(line.substr(0, a.size() + 1), a + ",");
    EXPECT_TRUE(std::regex_match(line.substr(a.size() + 1), format)) << line;
  }
  ASSERT_FALSE(ui_.statuses.empty());
  EXPECT_EQ(ui_.statuses.front(), "正在初始化,请稍后...");
  EXPECT_EQ(ui_.statuses.back(), "提取完成,共提取文件信息 4 条.");
  EXPECT_GE(ui_.progress_calls, 10);  // after every entry, skipped files and folders too
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(SnapshotTest, AStartFolderEndingInASeparatorGivesNoDoubledSeparators) {
  const std::string a = Make("a.asp");
  const std::string b = Make("sub/b.asp");
  Run("*.asp", 1, site_ + sep_);
  std::vector<std::string> expected = {a, b};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedPaths(), expected);
}

TEST_F(SnapshotTest, ExtensionPreFilterComparesTheLowerCasedExtensionWithTheMaskText) {
  Make("x.asp");
  Make("y.inc");
  EXPECT_EQ(Run("*.ASP,*.INC").lines, 0);  // ".asp" is not in "*.ASP,*.INC"
  EXPECT_EQ(Run("*.ASP").lines, 1);        // one mask: no pre-filter, the mask ignores case
  EXPECT_EQ(Lines().size(), 1u);           // the folder held no snapshot file: nothing asked
  EXPECT_TRUE(ui_.questions.empty());
}

TEST_F(SnapshotTest, StarDotStarSkipsNamesWithoutADot) {
  Make("README");
  const std::string abc = Make("a.b.asp");
  EXPECT_EQ(Run("*.*").lines, 1);
  EXPECT_EQ(SortedPaths(), std::vector<std::string>{abc});
}

TEST_F(SnapshotTest, TheSizeLimitTakesAFileOfExactlyTheLimit) {
  const std::string exact = Make("exact.asp", 1048576);
  const std::string over = Make("over.asp", 1048577);
  EXPECT_EQ(Run("*.asp", 1).lines, 1);
  EXPECT_EQ(SortedPaths(), std::vector<std::string>{exact});
  ui_.answers = {true};  // overwrite
  EXPECT_EQ(Run("*.asp", 5).lines, 2);
  EXPECT_EQ(Lines().size(), 2u);
  (void)over;
}

TEST_F(SnapshotTest, AnExistingSnapshotIsReplacedOnYesAndAppendedToOnNo) {
  Make("a.asp");
  Make("b.asp");
  EXPECT_EQ(Run("*.asp").lines, 2);
  EXPECT_TRUE(ui_.questions.empty());

  ui_.answers = {false};
  EXPECT_EQ(Run("*.asp").lines, 2);  // the count covers the new lines only
  EXPECT_EQ(Lines().size(), 4u);
  ASSERT_EQ(ui_.questions.size(), 1u);
  EXPECT_EQ(ui_.questions[0],
            "快照文件已经存在|快照文件已经存在请确认是否覆盖 选否则采用追加方式?");
  EXPECT_EQ(ui_.statuses.back(), "提取完成,共提取文件信息 2 条.");

  ui_.answers = {true};
  EXPECT_EQ(Run("*.asp").lines, 2);
  EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(SnapshotTest, AStopRequestKeepsTheLinesWrittenSoFar) {
  for (int i = 0; i < 15; ++i) Make("f" + std::to_string(i) + ".asp");
  ui_.stop_at_count = 10;
  const SnapshotOutcome out = Run("*.asp");
  EXPECT_TRUE(out.stopped);
  EXPECT_EQ(out.lines, 10);
  EXPECT_EQ(Lines().size(), 10u);
  EXPECT_EQ(ui_.statuses.back(), "提取完成,共提取文件信息 10 条.");
}

TEST_F(SnapshotTest, AMissingStartFolderGivesZeroLinesAndTheNormalEnd) {
  const SnapshotOutcome out = Run("*.asp", 1, dir_.path() + "nowhere");
  EXPECT_TRUE(out.started);
  EXPECT_FALSE(out.failed);
  EXPECT_EQ(out.lines, 0);
  EXPECT_TRUE(ui_.errors.empty());
  EXPECT_EQ(ui_.statuses.back(), "提取完成,共提取文件信息 0 条.");
}

TEST_F(SnapshotTest, PathsLongerThan255BytesAreWrittenWhole) {
  // 258 bytes: longer than the old cut, and still within what the Windows
  // ANSI file API reaches (a folder under 248 bytes, a path under 260).
  const std::size_t folder_length = 240 - site_.size() - 1;
  ASSERT_LT(site_.size(), 200u);
  const std::string path = Make(std::string(folder_length, 'd') + "/abcdefghijklm.asp");
  ASSERT_EQ(path.size(), 258u);
  EXPECT_EQ(Run("*.asp").lines, 1);
  EXPECT_EQ(SortedPaths(), std::vector<std::string>{path});
}

TEST_F(SnapshotTest, DeepPathsAreWrittenWholeWhereTheSystemReachesThem) {
  std::string folder = site_;
  for (int i = 0; i < 6; ++i) folder += sep_ + std::string(50, static_cast<char>('a' + i));
  const std::string path = folder + sep_ + "deep.asp";
  std::string error;
  if (!platform::CreateDirectories(folder) || !platform::WriteWholeFile(path, "x", &error)) {
    GTEST_SKIP() << "the file API cannot reach a path of " << path.size() << " bytes";
  }
  EXPECT_EQ(Run("*.asp").lines, 1);
  EXPECT_EQ(SortedPaths(), std::vector<std::string>{path});
}

TEST_F(SnapshotTest, GbkNamesAreRecordedInGbk) {
  const std::string path = Make("新建文件夹/默认.asp");
  EXPECT_EQ(Run("*.asp").lines, 1);
  EXPECT_EQ(SortedPaths(), std::vector<std::string>{path});
}

TEST_F(SnapshotTest, ASnapshotFolderThatCannotBeMadeStopsBeforeTheWalk) {
  Make("a.asp");
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(dir_.path() + "out", "a file, not a folder", &error));
  const SnapshotOutcome out = Run("*.asp");
  EXPECT_FALSE(out.started);
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_TRUE(ui_.statuses.empty());
}

TEST_F(SnapshotTest, AWriteFailureEndsTheWalkWithTheError) {
  Make("a.asp");
  Make("b.asp");
  ASSERT_TRUE(platform::CreateDirectories(snapshot_));  // a folder where the file should go
  const SnapshotOutcome out = Run("*.asp");
  EXPECT_TRUE(out.started);
  EXPECT_TRUE(out.failed);
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_NE(ui_.statuses.back().rfind("提取完成", 0), 0u);  // no completion text
}

struct PathCase {
  const char* line;
  const char* path;
};

TEST(SnapshotLinePath, TakesEverythingBeforeTheLastThreeFields) {
  const PathCase cases[] = {
      {"D:\\a.asp,5,2024/01/02 03:04:05,2024/01/02 03:04:05", "D:\\a.asp"},
      {"D:\\a,b.asp,5,2024/01/02 03:04:05,2024/01/02 03:04:05", "D:\\a,b.asp"},
      {"D:\\,,x,1,t,t", "D:\\,,x"},
      {"D:\\a.asp,5,t", "D:\\a.asp"},  // fewer than four fields: the first one
      {"D:\\a.asp", "D:\\a.asp"},
      {"", ""},
      {",,,", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SnapshotLinePath(c.line), c.path) << c.line;
}

}  // namespace
}  // namespace zelk::manager
