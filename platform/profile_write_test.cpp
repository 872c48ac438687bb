// The profile-file writer: natively our own, under Wine the Windows API. Both
// must leave files that the reader (and the filter) read alike.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/files.h"
#include "platform/profile.h"
#include "testing/files.h"

namespace zelk::platform {
namespace {

class ProfileWriteTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() { return testing::FileBytes(path_); }
  std::string Get(const char* section, const char* key) {
    return GetProfileString(path_, section, key, "DEF");
  }
  testing::TempDir dir_;
  const std::string path_ = dir_.path() + "t.ini";
};

TEST_F(ProfileWriteTest, NewFileHoldsTheSectionAndKeysInWritingOrder) {
  ASSERT_TRUE(WriteProfileString(path_, "ZelkWAF", "DenyShell", "1"));
  ASSERT_TRUE(WriteProfileString(path_, "ZelkWAF", "SqlGetValue", ""));
  ASSERT_TRUE(WriteProfileString(path_, "ZelkWAF", "DenyFileExtDownValue", ".mdb|.inc|"));
  EXPECT_EQ(Read(),
            "[ZelkWAF]\r\nDenyShell=1\r\nSqlGetValue=\r\nDenyFileExtDownValue=.mdb|.inc|\r\n");
}

TEST_F(ProfileWriteTest, RewritingAKeyChangesOnlyItsValue) {
  ASSERT_TRUE(WriteProfileString(path_, "S", "a", "1"));
  ASSERT_TRUE(WriteProfileString(path_, "S", "b", "2"));
  ASSERT_TRUE(WriteProfileString(path_, "S", "a", "first"));
  EXPECT_EQ(Read(), "[S]\r\na=first\r\nb=2\r\n");
}

TEST_F(ProfileWriteTest, KeepsOtherSectionsKeysAndComments) {
  Write("; settings of the site\r\n[Other]\r\nk=v\r\n\r\n[S]\r\nA=1\r\nB=2\r\n\r\n[T]\r\nC=3\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "S", "B", "two"));
  ASSERT_TRUE(WriteProfileString(path_, "S", "New", "n"));
  ASSERT_TRUE(WriteProfileString(path_, "U", "D", "4"));
  const std::string text = Read();
  EXPECT_NE(text.find("; settings of the site"), std::string::npos) << text;
  EXPECT_EQ(Get("Other", "k"), "v");
  EXPECT_EQ(Get("S", "A"), "1");
  EXPECT_EQ(Get("S", "B"), "two");
  EXPECT_EQ(Get("S", "New"), "n");
  EXPECT_EQ(Get("T", "C"), "3");
  EXPECT_EQ(Get("U", "D"), "4");
  EXPECT_EQ(Get("T", "New"), "DEF");  // added inside its own section, not the next one
}

TEST_F(ProfileWriteTest, FindsSectionAndKeyRegardlessOfCase) {
  Write("[zelkwaf]\r\nsqlget=1\r\n");
  ASSERT_TRUE(WriteProfileString(path_, "ZelkWAF", "SqlGet", "0"));
  EXPECT_EQ(Get("ZelkWAF", "SqlGet"), "0");
  const std::string text = Read();
  EXPECT_EQ(text.find("[ZelkWAF]"), std::string::npos) << text;  // no second section
  EXPECT_EQ(text.find("1"), std::string::npos) << text;          // the old value is gone
}

TEST_F(ProfileWriteTest, ValuesComeBackAsTheReaderTrimsThem) {
  ASSERT_TRUE(WriteProfileString(path_, "S", "pattern", "(a|b)=c;d"));
  ASSERT_TRUE(WriteProfileString(path_, "S", "gbk", "D:\\网站\\"));
  EXPECT_EQ(Get("S", "pattern"), "(a|b)=c;d");
  EXPECT_EQ(Get("S", "gbk"), "D:\\网站\\");
}

TEST_F(ProfileWriteTest, RefusesLineBreaksAndUnwritableFiles) {
  ASSERT_TRUE(WriteProfileString(path_, "S", "a", "1"));
  EXPECT_FALSE(WriteProfileString(path_, "S", "a", "x\r\n[S]\r\nb=2"));
  EXPECT_FALSE(WriteProfileString(path_, "S", "a\nb", "1"));
  EXPECT_EQ(Read(), "[S]\r\na=1\r\n");
  EXPECT_FALSE(
      WriteProfileString(dir_.path() + "missing" + PathSeparator() + "t.ini", "S", "a", "1"));
}

}  // namespace
}  // namespace zelk::platform
