#include "filter/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "filter/testing/request_cases.h"

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

TEST(WhiteList, MissingFileCannotBeRead) {
  WhiteList list;
  EXPECT_FALSE(LoadWhiteList("/nonexistent/ZelkWAF.dst", &list));
  EXPECT_TRUE(list.entries().empty());
}

}  // namespace
}  // namespace zelk::filter
