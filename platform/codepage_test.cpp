#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace zelk::platform {
namespace {

// The sources are UTF-8 and compiled with a GBK execution character set: a
// Chinese literal must arrive in the binary as GBK bytes.
TEST(Codepage, ChineseLiteralsAreCompiledAsGbk) {
  EXPECT_EQ(std::string("学习模式"), "\xD1\xA7\xCF\xB0\xC4\xA3\xCA\xBD");
}

TEST(Codepage, Utf16UnitToGbk) {
  EXPECT_EQ(Utf16UnitToGbk(0x41), "A");
  EXPECT_EQ(Utf16UnitToGbk(0x27), "'");
  EXPECT_EQ(Utf16UnitToGbk(0x4E2D), "\xD6\xD0");
  EXPECT_EQ(Utf16UnitToGbk(0x20AC), "\x80");
  EXPECT_EQ(Utf16UnitToGbk(0xD800), "?");
  EXPECT_EQ(Utf16UnitToGbk(0xFF07), "\xA3\xA7");  // fullwidth apostrophe stays fullwidth
}

TEST(Codepage, RoundTripsBetweenGbkUtf8AndUtf16) {
  const std::string gbk =
      "ZelkWAF \xD3\xA6\xD3\xC3\xB7\xC0\xBB\xF0\xC7\xBD";  // "ZelkWAF 应用防火墙"
  EXPECT_EQ(GbkToUtf8(gbk),
            std::string("ZelkWAF \xE5\xBA\x94\xE7\x94\xA8\xE9\x98\xB2\xE7\x81\xAB\xE5\xA2\x99"));
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8(gbk)), gbk);
  EXPECT_EQ(Utf16ToGbk(GbkToUtf16(gbk)), gbk);
  EXPECT_EQ(GbkToUtf16("\xD6\xD0"), std::u16string(1, u'\u4E2D'));
}

TEST(Codepage, UnmappedBytesBecomeQuestionMarks) {
  EXPECT_EQ(GbkToUtf8("a\xFF"
                      "b"),
            "a?b");
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                      "b")
                .find('b'),
            Utf8ToGbk("a\xF0\x9F\x98\x80"
                      "b")
                    .size() -
                1);
}

}  // namespace
}  // namespace zelk::platform
