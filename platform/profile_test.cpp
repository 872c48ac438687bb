// The profile-file rules, run against our reader on Linux and against the
// Windows API in the Windows builds (under Wine), so the two stay alike.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <fstream>

#include "testing/files.h"

namespace zelk::platform {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Get(const char* section, const char* key, const char* def = "DEF") {
    return GetProfileString(path_, section, key, def);
  }
  testing::TempDir dir_;
  const std::string path_ = dir_.path() + "t.ini";
};

TEST_F(ProfileTest, FindsSectionsAndKeysRegardlessOfCase) {
  Write("[ZelkWAF]\r\nSqlGet=0\r\n");
  EXPECT_EQ(Get("zelkwaf", "SQLGET"), "0");
  EXPECT_EQ(Get("ZelkWAF", "SqlGet"), "0");
  EXPECT_EQ(Get("Other", "SqlGet"), "DEF");
  EXPECT_EQ(Get("ZelkWAF", "Missing"), "DEF");
}

TEST_F(ProfileTest, TrimsSpacesAndOnePairOfEnclosingQuotes) {
  Write(
      "[S]\r\n  a  =  value with  spaces  \r\nb=\"dq\"\r\nc='sq'\r\nd=\"mixed'\r\ne=\"\"x\"\"\r\n"
      "f=\"\r\ng=\r\nh = 'a' b\r\n\tk\t=\tv\t\r\n");
  EXPECT_EQ(Get("S", "a"), "value with  spaces");
  EXPECT_EQ(Get("S", "b"), "dq");
  EXPECT_EQ(Get("S", "c"), "sq");
  EXPECT_EQ(Get("S", "d"), "\"mixed'");
  EXPECT_EQ(Get("S", "e"), "\"x\"");
  EXPECT_EQ(Get("S", "f"), "\"");
  EXPECT_EQ(Get("S", "g"), "");
  EXPECT_EQ(Get("S", "h"), "'a' b");
  EXPECT_EQ(Get("S", "k"), "v");
}

TEST_F(ProfileTest, KeepsTheTextAfterTheFirstEqualsSign) {
  Write("[S]\r\nDenyFileExtDownValue=.mdb|.inc=x|\r\nSqlGetValue=(?:a=b)\r\n");
  EXPECT_EQ(Get("S", "DenyFileExtDownValue"), ".mdb|.inc=x|");
  EXPECT_EQ(Get("S", "SqlGetValue"), "(?:a=b)");
}

TEST_F(ProfileTest, AcceptsLfAndCrLfLineEnds) {
  Write("[S]\nk1=v1\n[T]\r\nk2=v2\r\n");
  EXPECT_EQ(Get("S", "k1"), "v1");
  EXPECT_EQ(Get("T", "k2"), "v2");
  EXPECT_EQ(Get("S", "k2"), "DEF");
}

TEST_F(ProfileTest, FirstKeyOfTheSectionWins) {
  Write("[S]\r\nk=first\r\nk=second\r\n");
  EXPECT_EQ(Get("S", "k"), "first");
}

TEST_F(ProfileTest, MissingFileGivesTheDefault) {
  EXPECT_EQ(GetProfileString(dir_.path() + "none.ini", "S", "k", ".mdb|"), ".mdb|");
}

TEST_F(ProfileTest, CutsLongValuesToTheBuffer) {
  Write("[S]\r\nk=" + std::string(3000, 'v') + "\r\n");
  EXPECT_EQ(GetProfileString(path_, "S", "k", "", 2048), std::string(2047, 'v'));
  EXPECT_EQ(GetProfileString(path_, "S", "k", "", 10), std::string(9, 'v'));
}

TEST_F(ProfileTest, KeepsGbkBytes) {
  Write("[S]\r\nk=\xD6\xD0\xCE\xC4\x5C\r\n");
  EXPECT_EQ(Get("S", "k"), "\xD6\xD0\xCE\xC4\x5C");
}

TEST(ParseProfileInt, DecimalAndHexadecimal) {
  struct Case {
    const char* text;
    bool ok;
    long long value;
  };
  const Case cases[] = {{"0", true, 0},      {"1", true, 1},    {"42", true, 42},
                        {"-7", true, -7},    {"+3", true, 3},   {"0x10", true, 16},
                        {"0XfF", true, 255}, {"$1f", true, 31}, {"$", false, 0},
                        {"0x", false, 0},    {"", false, 0},    {"yes", false, 0},
                        {"1 ", false, 0},    {"12a", false, 0}, {"99999999999999999999", false, 0}};
  for (const Case& c : cases) {
    long long v = -12345;
    EXPECT_EQ(ParseProfileInt(c.text, &v), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.value : -12345) << c.text;
  }
}

}  // namespace
}  // namespace zelk::platform
