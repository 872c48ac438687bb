// The shared byte-string helpers and the profile-line parser: pure functions,
// table-driven.
#include "platform/text.h"

#include <gtest/gtest.h>

#include "platform/profile_line.h"

namespace zelk {
namespace {

TEST(HexDigitValue, DigitsOfBothCasesAndNothingElse) {
  const std::string digits = "0123456789abcdefABCDEF";
  const int values[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                        11, 12, 13, 14, 15, 10, 11, 12, 13, 14, 15};
  for (std::size_t i = 0; i < digits.size(); ++i) EXPECT_EQ(HexDigitValue(digits[i]), values[i]);
  for (const char c : std::string("gG/:@`xX %\x80\xFF", 12)) EXPECT_EQ(HexDigitValue(c), -1) << c;
  EXPECT_EQ(HexDigitValue('\0'), -1);
}

TEST(TrimBlanksAndControls, DropsCodesOneToThirtyTwoAtBothEndsOnly) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"  C:\\a b\\c.txt \t\r\n", "C:\\a b\\c.txt"},
      {" \t ", ""},
      {"", ""},
      {"\x01x\x1F", "x"},
      {"!x!", "!x!"},
      {std::string("\0x", 2), std::string("\0x", 2)},  // code 0 is no blank
      {" 网站 ", "网站"},
      {"\xD5\x20", "\xD5"},  // a lone lead byte is a byte like any other
  };
  for (const auto& c : cases) EXPECT_EQ(TrimBlanksAndControls(c.in), c.out) << c.in;
}

TEST(SplitLines, EveryLineEndAndALastLineWithoutOne) {
  const struct {
    std::string text;
    std::vector<std::string> lines, ends;
  } cases[] = {
      {"", {}, {}},
      {"a", {"a"}, {""}},
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}, {"\r\n", "\n", "\r", ""}},
      {"a\r\n", {"a"}, {"\r\n"}},
      {"\r\n\r\n", {"", ""}, {"\r\n", "\r\n"}},
      {"\n\r", {"", ""}, {"\n", "\r"}},  // LF CR is two line ends
      {"\r\r\n", {"", ""}, {"\r", "\r\n"}},
      {" x \t\r\n", {" x \t"}, {"\r\n"}},  // kept exactly as written
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
    std::vector<std::string> texts, ends;
    for (const TextLine& l : SplitLinesKeepingEnds(c.text)) {
      texts.emplace_back(l.text);
      ends.emplace_back(l.end);
    }
    EXPECT_EQ(texts, c.lines) << c.text;
    EXPECT_EQ(ends, c.ends) << c.text;
  }
}

TEST(IsAscii, OnlyBytesBelow128) {
  EXPECT_TRUE(IsAscii(""));
  EXPECT_TRUE(IsAscii(std::string("a\x7F\0", 3)));
  EXPECT_FALSE(IsAscii("a\x80"));
  EXPECT_FALSE(IsAscii("网"));
}

TEST(ParseProfileLine, SectionsKeysAndBlanks) {
  using Kind = platform::ProfileLine::Kind;
  const struct {
    std::string line;
    Kind kind;
    std::string name, value;
  } cases[] = {
      {"", Kind::kBlank, "", ""},
      {" \t\v\f", Kind::kBlank, "", ""},
      {"[ZelkWAF]", Kind::kSection, "ZelkWAF", ""},
      {"  [ Zelk WAF ] tail", Kind::kSection, "Zelk WAF", ""},
      {"[open", Kind::kKey, "[open", ""},
      {"k=v", Kind::kKey, "k", "v"},
      {"\t k \t=\t v w \t", Kind::kKey, "k", "v w"},
      {"k=a=b", Kind::kKey, "k", "a=b"},
      {"k", Kind::kKey, "k", ""},
      {"=v", Kind::kKey, "", "v"},
      {"k=\"dq\"", Kind::kKey, "k", "dq"},
      {"k='sq'", Kind::kKey, "k", "sq"},
      {"k=\"mixed'", Kind::kKey, "k", "\"mixed'"},
      {"k=\"\"x\"\"", Kind::kKey, "k", "\"x\""},
      {"k=\"", Kind::kKey, "k", "\""},
      {"k=' a '", Kind::kKey, "k", " a "},
      {"路径=C:\\网站\\", Kind::kKey, "路径", "C:\\网站\\"},
  };
  for (const auto& c : cases) {
    const platform::ProfileLine p = platform::ParseProfileLine(c.line);
    EXPECT_EQ(p.kind, c.kind) << c.line;
    EXPECT_EQ(p.name, c.name) << c.line;
    EXPECT_EQ(p.value, c.value) << c.line;
  }
}

}  // namespace
}  // namespace zelk
