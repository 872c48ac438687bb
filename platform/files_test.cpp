// The file layer's promises, run natively and under Wine against the real
// Windows API, so the two implementations stay alike.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/codepage.h"
#include "testing/files.h"

namespace zelk::platform {
namespace {

namespace fs = std::filesystem;

// 2020-01-15 10:00:00 UTC as FILETIME ticks.
constexpr std::uint64_t kJan15 = (1579082400ULL + 11644473600ULL) * 10000000ULL;
constexpr std::uint64_t kSecond = 10000000ULL;

class FilesTest : public ::testing::Test {
 protected:
  void Write(const std::string& name, const std::string& bytes) {
    std::string error;
    ASSERT_TRUE(WriteWholeFile(dir_ + name, bytes, &error)) << error;
  }
  std::map<std::string, DirEntry> List(const std::string& dir) {
    std::map<std::string, DirEntry> out;
    auto e = DirEnumerator::Open(dir);
    EXPECT_NE(e, nullptr);
    DirEntry entry;
    while (e && e->Next(&entry)) out[entry.name] = entry;
    return out;
  }
  testing::TempDir temp_;
  const std::string dir_ = temp_.path();                      // with a trailing separator
  const std::string root_ = dir_.substr(0, dir_.size() - 1);  // without
};

TEST_F(FilesTest, EnumeratesFilesFoldersAndHiddenEntriesWithSizes) {
  Write("a.asp", "12345");
  Write(".hidden", "");
  ASSERT_TRUE(CreateDirectories(dir_ + "sub"));
  auto entries = List(root_);
  entries.erase(".");
  entries.erase("..");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_FALSE(entries["a.asp"].is_directory);
  EXPECT_EQ(entries["a.asp"].size, 5u);
  EXPECT_FALSE(entries[".hidden"].is_directory);
  EXPECT_TRUE(entries["sub"].is_directory);
}

TEST_F(FilesTest, EnumeratingAMissingFolderFails) {
  EXPECT_EQ(DirEnumerator::Open(dir_ + "missing"), nullptr);
  Write("plain", "x");
  EXPECT_EQ(DirEnumerator::Open(dir_ + "plain"), nullptr);
}

TEST_F(FilesTest, FindFileTellsFilesFromFoldersAndMissingPaths) {
  Write("x.txt", "abc");
  ASSERT_TRUE(CreateDirectories(dir_ + "d"));
  DirEntry e;
  ASSERT_TRUE(FindFile(dir_ + "x.txt", &e));
  EXPECT_EQ(e.name, "x.txt");
  EXPECT_FALSE(e.is_directory);
  EXPECT_EQ(e.size, 3u);
  ASSERT_TRUE(FindFile(dir_ + "d", &e));
  EXPECT_TRUE(e.is_directory);
  EXPECT_FALSE(FindFile(dir_ + "nothing.txt", &e));
  EXPECT_FALSE(FindFile("", &e));
}

TEST_F(FilesTest, LastWriteTimeIsSetAndReadBackAndCreationTimeIsStable) {
  Write("t.asp", "x");
  std::string error;
  ASSERT_TRUE(SetLastWriteTime(dir_ + "t.asp", kJan15, &error)) << error;
  DirEntry first, second;
  ASSERT_TRUE(FindFile(dir_ + "t.asp", &first));
  EXPECT_EQ(first.last_write_time, kJan15);
  ASSERT_TRUE(FindFile(dir_ + "t.asp", &second));
  EXPECT_EQ(first.creation_time, second.creation_time);
  EXPECT_NE(first.creation_time, 0u);
  // The enumeration reports the same times as the lookup of the path.
  const DirEntry listed = List(root_)["t.asp"];
  EXPECT_EQ(listed.last_write_time, first.last_write_time);
  EXPECT_EQ(listed.creation_time, first.creation_time);
}

TEST_F(FilesTest, FileTimeToLocalKeepsTheDistanceBetweenTwoTimes) {
  LocalDateTime a, b;
  ASSERT_TRUE(FileTimeToLocal(kJan15, &a));
  ASSERT_TRUE(FileTimeToLocal(kJan15 + 3661 * kSecond + kSecond / 2, &b));  // +1:01:01.5
  EXPECT_EQ(a.year, 2020);
  EXPECT_EQ(a.month, 1);
  EXPECT_EQ((b.hour - a.hour + 24) % 24, 1);
  EXPECT_EQ(b.minute, (a.minute + 1) % 60);
  EXPECT_EQ(b.second, (a.second + 1) % 60);  // milliseconds dropped, not rounded
}

TEST_F(FilesTest, CreatesNestedFoldersAndAcceptsExistingOnes) {
  const std::string deep = dir_ + "a" + PathSeparator() + "b" + PathSeparator() + "c";
  EXPECT_TRUE(CreateDirectories(deep));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(CreateDirectories(deep + PathSeparator()));
  Write("file", "x");
  EXPECT_FALSE(CreateDirectories(dir_ + "file" + PathSeparator() + "sub"));
  EXPECT_FALSE(DirectoryExists(dir_ + "file"));
}

TEST_F(FilesTest, WholeFileReadWriteAndAppend) {
  std::string error, bytes;
  ASSERT_TRUE(AppendToFile(dir_ + "log.txt", "one\r\n", &error)) << error;  // created when missing
  ASSERT_TRUE(AppendToFile(dir_ + "log.txt", "two\r\n", &error)) << error;
  ASSERT_TRUE(ReadWholeFile(dir_ + "log.txt", &bytes, &error)) << error;
  EXPECT_EQ(bytes, "one\r\ntwo\r\n");
  ASSERT_TRUE(WriteWholeFile(dir_ + "log.txt", "", &error));
  ASSERT_TRUE(ReadWholeFile(dir_ + "log.txt", &bytes, &error));
  EXPECT_EQ(bytes, "");
  ASSERT_TRUE(RemoveFile(dir_ + "log.txt", &error)) << error;
  EXPECT_FALSE(ReadWholeFile(dir_ + "log.txt", &bytes, &error));
  EXPECT_NE(error.find("failed ("), std::string::npos) << error;
  EXPECT_FALSE(RemoveFile(dir_ + "log.txt", &error));
}

TEST_F(FilesTest, WritingIntoAMissingFolderOrOntoAFolderFails) {
  std::string error;
  const std::string missing = dir_ + "no" + PathSeparator() + "x.txt";
  EXPECT_FALSE(WriteWholeFile(missing, "x", &error));
  EXPECT_FALSE(AppendToFile(missing, "x", &error));
  ASSERT_TRUE(CreateDirectories(dir_ + "d"));
  EXPECT_FALSE(AppendToFile(dir_ + "d", "x", &error));
  std::string bytes;
  EXPECT_FALSE(ReadWholeFile(dir_ + "d", &bytes, &error));
}

TEST_F(FilesTest, GbkNamesAreUnicodeNamesOnDiskAndComeBackAsGbk) {
  // The literal is GBK in the binary; on disk the name is the Unicode one.
  const std::string name = "新建文件.asp";
  ASSERT_EQ(name.size(), 12u);
  Write(name, "x");
  EXPECT_TRUE(fs::exists(fs::path(root_) / fs::u8path(u8"新建文件.asp")));
  auto entries = List(root_);
  EXPECT_EQ(entries.count(name), 1u);
  DirEntry e;
  EXPECT_TRUE(FindFile(dir_ + name, &e));
  EXPECT_EQ(e.name, name);
}

TEST_F(FilesTest, ExecutableDirEndsWithTheSeparatorAndHoldsThisProgram) {
  const std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), PathSeparator());
  EXPECT_TRUE(DirectoryExists(dir));
  EXPECT_TRUE(fs::exists(fs::path(dir) / "CTestTestfile.cmake"));
}

TEST_F(FilesTest, AbsolutePathJoinsTheCurrentFolderAsGbk) {
  // The current folder has a Chinese name: on Linux it is UTF-8 on disk and
  // must come back as GBK before a GBK relative path is joined to it.
  const std::string sep(1, PathSeparator());
  const std::string site = dir_ + "网站";
  ASSERT_TRUE(CreateDirectories(site + sep + "sub"));
  const fs::path before = fs::current_path();
  fs::current_path(fs::u8path(GbkToUtf8(site)));
  const struct {
    std::string in, out;
  } cases[] = {
      {"sub", site + sep + "sub"},
      {"sub" + sep, site + sep + "sub" + sep},
      {"." + sep + "sub" + sep + ".." + sep + "新建.asp", site + sep + "新建.asp"},
      {".", site},
      {"..", dir_.substr(0, dir_.size() - 1)},
      {site + sep + "sub" + sep + ".." + sep + "a" + sep, site + sep + "a" + sep},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(AbsolutePath(c.in), c.out) << c.in;
  fs::current_path(before);
}

}  // namespace
}  // namespace zelk::platform
