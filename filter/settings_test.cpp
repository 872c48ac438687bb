#include "filter/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "filter/testing/request_cases.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

using testing::TempDir;

std::string WriteIni(const TempDir& dir, const std::string& text) {
  const std::string path = dir.path() + "ZelkWAF.ini";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

void ExpectDefaults(const FilterSettings& s) {
  const FilterSettings d;
  for (const SwitchKey& k : kSwitchKeys) EXPECT_EQ(s.*k.member, k.default_value) << k.name;
  EXPECT_EQ(s.SqlGetValue, "");
  EXPECT_EQ(s.SqlPostValue, "");
  EXPECT_EQ(s.SqlCookieValue, "");
  EXPECT_EQ(s.DenyFileExtDownValue, ".mdb|.inc|.bak|.asa|.cer|.cdx|");
  EXPECT_FALSE(d.LearnMode);
}

TEST(LoadSettings, MissingFileAndHeaderOnlyFileGiveDefaults) {
  TempDir dir;
  ExpectDefaults(LoadSettings(dir.path() + "none.ini"));
  ExpectDefaults(LoadSettings(WriteIni(dir, "[ZelkWAF]\r\n")));
}

TEST(LoadSettings, SwitchValues) {
  struct Case {
    const char* value;
    bool expected;  // DenyPutMethod, default on
  };
  const Case cases[] = {{"1", true},    {"0", false},  {"0x10", true}, {"0X0", false},
                        {"$0", false},  {"$1F", true}, {"-1", true},   {"yes", true},
                        {"true", true}, {"", true},    {" 0 ", false}, {"00", false},
                        {"0x", true},   {"1a", true}};
  for (const Case& c : cases) {
    TempDir dir;
    const FilterSettings s =
        LoadSettings(WriteIni(dir, std::string("[ZelkWAF]\r\nDenyPutMethod=") + c.value + "\r\n"));
    EXPECT_EQ(s.DenyPutMethod, c.expected) << "value: '" << c.value << "'";
  }
  TempDir dir;
  // A non-number falls back to the key's own default, which is off for LearnMode.
  EXPECT_FALSE(LoadSettings(WriteIni(dir, "[ZelkWAF]\r\nLearnMode=yes\r\n")).LearnMode);
}

TEST(LoadSettings, TextValuesFollowTheProfileRules) {
  TempDir dir;
  const FilterSettings s = LoadSettings(WriteIni(
      dir,
      "; comment\r\n[Other]\r\nSqlGetValue=wrong\r\n[zelkwaf]\r\n"
      "sqlgetvalue =  'quoted pattern'  \r\nSqlPostValue=\"a\"b\"\r\nSqlCookieValue='x\"\r\n"
      "DenyFileExtDownValue=\r\nsqlget=0\r\n"));
  EXPECT_EQ(s.SqlGetValue, "quoted pattern");
  EXPECT_EQ(s.SqlPostValue, "a\"b");
  EXPECT_EQ(s.SqlCookieValue, "'x\"");
  EXPECT_EQ(s.DenyFileExtDownValue, "");  // present but empty: blocks nothing
  EXPECT_FALSE(s.SqlGet);
}

TEST(LoadSettings, LongTextIsCutTo2047Bytes) {
  TempDir dir;
  const std::string value(3000, 'a');
  const FilterSettings s =
      LoadSettings(WriteIni(dir, "[ZelkWAF]\r\nSqlGetValue=" + value + "\r\n"));
  EXPECT_EQ(s.SqlGetValue, std::string(2047, 'a'));
}

TEST(WhiteList, LinesAreEntriesExactlyAsWritten) {
  TempDir dir;
  const std::string path = dir.path() + "ZelkWAF.dst";
  std::ofstream(path, std::ios::binary)
      << "/admin/add.asp\r\n/a.asp \r\n\r\n/lf.asp\n/cr.asp\r/last.asp";
  WhiteList list;
  ASSERT_TRUE(LoadWhiteList(path, &list));
  EXPECT_EQ(list.entries(), (std::vector<std::string>{"/admin/add.asp", "/a.asp ", "", "/lf.asp",
                                                      "/cr.asp", "/last.asp"}));
  EXPECT_TRUE(list.Contains("/ADMIN/Add.asp"));
  EXPECT_TRUE(list.Contains("/a.asp "));
  EXPECT_FALSE(list.Contains("/a.asp"));
  EXPECT_TRUE(list.Contains("/LAST.ASP"));
  EXPECT_FALSE(list.Contains("/admin/add.asp "));
  // An entry added after the index exists is found too.
  list.Add("/Later.asp");
  EXPECT_TRUE(list.Contains("/later.ASP"));
}

TEST(WhiteList, CaseFoldingLeavesGbkBytesAlone) {
  WhiteList list;
  list.Add("/\xB9\xDC\xC0\xED/a.asp");  // "/管理/a.asp"
  EXPECT_TRUE(list.Contains("/\xB9\xDC\xC0\xED/A.ASP"));
  EXPECT_FALSE(list.Contains("/\xB9\xDC\xC0\xCD/a.asp"));
}

// Entries added one at a time and from a file, in any mixture, with
// duplicates that differ only in letter case: every entry is kept as written
// and in order, each is found in any case, and texts that are not entries
// (a prefix, one more byte, a GBK byte changed) are not.
TEST(WhiteList, AddedAndLoadedEntriesAreFoundAndNothingElse) {
  WhiteList list;
  std::vector<std::string> added;
  for (int i = 0; i < 3000; ++i) {
    std::string e = "/Dir" + std::to_string(i % 700) + "/\xB9\xDC" + std::to_string(i) + ".asp";
    if (i % 3 == 0) e = ToAsciiLower(e);  // the same text as an earlier one but for case
    if (i % 2 == 0) {
      list.Add(e);
    } else {
      list.AddLines(e + (i % 4 == 1 ? "\r\n" : "\n"));
    }
    added.push_back(e);
  }
  list.AddLines("/AGAIN/x.asp\r/again/X.ASP");
  added.push_back("/AGAIN/x.asp");
  added.push_back("/again/X.ASP");
  ASSERT_EQ(list.size(), added.size());
  EXPECT_EQ(list.entries(), added);
  for (const std::string& e : added) {
    EXPECT_TRUE(list.Contains(e)) << e;
    EXPECT_TRUE(list.Contains(ToAsciiLower(e))) << e;
    EXPECT_FALSE(list.Contains(e.substr(0, e.size() - 1))) << e;
    EXPECT_FALSE(list.Contains(e + "x")) << e;
    std::string other = e;
    const std::size_t gbk = other.find('\xDC');
    if (gbk == std::string::npos) continue;
    other[gbk] = '\xDD';
    EXPECT_FALSE(list.Contains(other)) << e;
  }
  EXPECT_FALSE(WhiteList().Contains(""));
}

TEST(WhiteList, MissingFileCannotBeRead) {
  WhiteList list;
  EXPECT_FALSE(LoadWhiteList("/nonexistent/ZelkWAF.dst", &list));
  EXPECT_TRUE(list.entries().empty());
}

}  // namespace
}  // namespace zelk::filter

namespace zelk::filter {
namespace {

// Files with garbage: NUL bytes, a line of a megabyte, binary noise. The
// settings keep their defaults where a key cannot be read and take what can
// be; the white list holds every line exactly and finds each again.
TEST(LoadSettings, GarbageNulBytesAndHugeLinesLeaveTheReadableKeys) {
  TempDir dir;
  std::string text = std::string("\x00\xff\xfe garbage\r\n", 13) + std::string(1 << 20, 'x') +
                     "\r\n[ZelkWAF]\r\nSqlGet=0\r\nDenyShell=" + std::string(1 << 20, '9') +
                     "\r\nSqlGetValue=" + std::string(1 << 20, 'v') + "\r\nLearnMode\x00=1\r\n";
  const FilterSettings s = LoadSettings(WriteIni(dir, text));
  EXPECT_FALSE(s.SqlGet);
  EXPECT_TRUE(s.DenyShell);  // overflowing number: the default
  EXPECT_EQ(s.SqlGetValue, std::string(2047, 'v'));
  EXPECT_FALSE(s.LearnMode);  // the key holds a NUL: not "LearnMode"
}

TEST(WhiteList, GarbageNulBytesAndHugeLinesAreEntriesAsWritten) {
  TempDir dir;
  const std::string huge(1 << 20, 'u');
  const std::string nul = std::string("/a\x00b.asp", 8);
  const std::string path =
      WriteIni(dir, "\xff\xfe\x01\r\n" + nul + "\n" + huge + "\r/Admin/Edit.asp");
  WhiteList list;
  ASSERT_TRUE(LoadWhiteList(path, &list));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_TRUE(list.Contains("\xff\xfe\x01"));
  EXPECT_TRUE(list.Contains(nul));
  EXPECT_FALSE(list.Contains("/a"));  // the NUL does not end the entry
  EXPECT_TRUE(list.Contains(huge));
  EXPECT_TRUE(list.Contains("/admin/edit.ASP"));
}

// A million entries load, and every one is found (the load time is measured
// by bench/filter_bench).
TEST(WhiteList, AMillionEntriesAllFound) {
  TempDir dir;
  std::string text;
  const int n = 1000000;
  for (int i = 0; i < n; ++i) text += "/site/page" + std::to_string(i) + ".asp\r\n";
  const std::string path = WriteIni(dir, text);
  WhiteList list;
  ASSERT_TRUE(LoadWhiteList(path, &list));
  EXPECT_EQ(list.size(), static_cast<std::size_t>(n));
  for (int i = 0; i < n; i += 9973) {
    EXPECT_TRUE(list.Contains("/SITE/page" + std::to_string(i) + ".asp")) << i;
  }
  EXPECT_FALSE(list.Contains("/site/page" + std::to_string(n) + ".asp"));
}

}  // namespace
}  // namespace zelk::filter
