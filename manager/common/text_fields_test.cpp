#include "manager/common/text_fields.h"

#include <gtest/gtest.h>

namespace zelk::manager {
namespace {

struct WildcardCase {
  const char* mask;
  const char* text;
  bool match;
};

TEST(MatchWildcard, MatchesAsTheManagerAlwaysHas) {
  const WildcardCase cases[] = {
      {"*.asp", "index.asp", true},
      {"*.asp", "INDEX.ASP", true},  // ASCII letters without case
      {"*.ASP", "x.asp", true},
      {"*.asp", "index.aspx", false},
      {"*.asp", "a.asp.bak", false},
      {"*.asp", "a.bak.asp", true},  // backtracks to the later dot
      {"*.*", "README", false},
      {"*.*", "a.b.asp", true},
      {"*.*", ".htaccess", true},
      {"*", "", true},
      {"*", "anything", true},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"?", "a", true},
      {"?", "", false},
      {"??.asp", "ab.asp", true},
      {"??.asp", "a.asp", false},
      {"*.as*", "x.asa", true},
      {"*.as*", "x.cer", false},
      {"*.*p*", "x.php", true},
      {"*.*p*", "x.asp", true},
      {"*.*p*", "x.htm", false},
      {"*.*tm*", "x.shtml", true},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbYcZ", false},
      {"a*b*c", "abcbc", true},
      {"*ab", "aab", true},  // retries after a failed partial match
      {"*?a", "xa", true},
      {"*?a", "xaa", false},  // "?" right after "*": tried at one place only
      {"*a?", "bab", true},
      {"abc", "abd", false},
      {"x*", "y", false},
      {"新*.asp", "新建.asp", true},  // other bytes compared as they are
      {"*.ASP", "新建.asp", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MatchWildcard(c.mask, c.text), c.match) << "mask " << c.mask << " text " << c.text;
  }
}

TEST(MatchWildcard, AnEmptyMaskInAListMatchesNothing) {
  EXPECT_FALSE(MatchesAnyMask({""}, ""));
  EXPECT_FALSE(MatchesAnyMask({"", "*.php"}, "a.asp"));
  EXPECT_TRUE(MatchesAnyMask({"", "*.php", "*.asp"}, "a.asp"));
  EXPECT_FALSE(MatchesAnyMask({}, "a.asp"));
}

struct MaskCase {
  const char* text;
  std::vector<std::string> masks;
};

TEST(SplitMaskList, FollowsTheMaskListRule) {
  const MaskCase cases[] = {
      {"*.asp,*.asa,*.inc", {"*.asp", "*.asa", "*.inc"}},
      {"", {}},
      {"   ", {}},
      {"*.php", {"*.php"}},
      {"  *.asp , *.inc  ", {"*.asp", "*.inc"}},
      {"*.asp *.inc", {"*.asp", "*.inc"}},  // a blank ends a mask too
      {"*.asp\t\r\n*.inc", {"*.asp", "*.inc"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"a, ", {"a"}},  // the comma is not the last character
      {",a", {"", "a"}},
      {"\"*.a,b c\",*.d", {"*.a,b c", "*.d"}},
      {"\"say \"\"x\"\"\"", {"say \"x\""}},
      {"\"\",a", {"", "a"}},
      {"\"open quote", {"open quote"}},
      {"\"a\"b", {"a", "b"}},
      {"*.新建,*.表", {"*.新建", "*.表"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitMaskList(c.text), c.masks) << "text [" << c.text << "]";
  }
}

TEST(SplitMaskList, KeepsBytesAboveAsciiInsideMasks) {
  // Lead and trail bytes of GBK characters are all above 32 and never a comma.
  const std::string text = "\x81\x40\xfe\xfe,\x80";
  EXPECT_EQ(SplitMaskList(text), (std::vector<std::string>{"\x81\x40\xfe\xfe", "\x80"}));
}

struct FieldCase {
  const char* text;
  const char* delimiter;
  int n;
  const char* field;
};

TEST(GetDelimitedField, CountsFieldsFromOne) {
  const FieldCase cases[] = {
      {"a,b,c", ",", 1, "a"},    {"a,b,c", ",", 2, "b"},
      {"a,b,c", ",", 3, "c"},    {"a,b,c", ",", 4, ""},
      {"a,b,c", ",", 0, ""},     {"abc", ",", 1, "abc"},
      {"abc", ",", 2, ""},       {"", ",", 1, ""},
      {",x", ",", 1, ""},        {",x", ",", 2, "x"},
      {"a,", ",", 2, ""},        {"*,C:\\ZelkWAF.dll,0,*", ",", 2, "C:\\ZelkWAF.dll"},
      {"a::b::c", "::", 3, "c"}, {"a::b", "::", 2, "b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetDelimitedField(c.text, c.delimiter, c.n), c.field)
        << c.text << " / " << c.delimiter << " / " << c.n;
  }
}

TEST(GetDelimitedField, NeverMatchesTheSecondByteOfACharacter) {
  // 0x81 0x5C is one GBK character whose second byte is the backslash.
  const std::string text =
      "a\x81\x5c"
      "b\\c";
  EXPECT_EQ(GetDelimitedField(text, "\\", 1),
            "a\x81\x5c"
            "b");
  EXPECT_EQ(GetDelimitedField(text, "\\", 2), "c");
}

TEST(CollapseDoubledSeparators, ReplacesPairsLeftToRight) {
  EXPECT_EQ(CollapseDoubledSeparators("D:\\\\a.asp", '\\'), "D:\\a.asp");
  EXPECT_EQ(CollapseDoubledSeparators("D:\\\\\\a", '\\'), "D:\\\\a");  // three become two
  EXPECT_EQ(CollapseDoubledSeparators("D:\\\\\\\\a", '\\'), "D:\\\\a");
  EXPECT_EQ(CollapseDoubledSeparators("//srv//www/a", '/'), "/srv/www/a");
  EXPECT_EQ(CollapseDoubledSeparators("x\x81\x5c\\y", '\\'),
            "x\x81\x5c\\y");  // trail byte is no separator
}

TEST(CompactPathForLabel, KeepsShortPathsAndShortensLongOnes) {
  EXPECT_EQ(CompactPathForLabel("D:\\www\\index.asp"), "D:\\www\\index.asp");
  const std::string exact(59, 'a');
  EXPECT_EQ(CompactPathForLabel(exact), exact);

  const std::string long_path = "D:\\wwwroot\\" + std::string(60, 'd') + "\\include\\conn.asp";
  const std::string shown = CompactPathForLabel(long_path);
  EXPECT_EQ(shown.size(), 59u);
  EXPECT_EQ(shown.substr(0, 11), "D:\\wwwroot\\");
  EXPECT_NE(shown.find("...\\conn.asp"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 9), "\\conn.asp");

  const std::string long_name = "D:\\" + std::string(80, 'n') + ".asp";
  const std::string name_shown = CompactPathForLabel(long_name);
  EXPECT_LE(name_shown.size(), 59u);
  EXPECT_EQ(name_shown.substr(name_shown.size() - 3), "...");
}

TEST(CompactPathForLabel, NeverSplitsATwoByteCharacter) {
  // Every folder name is made of two-byte characters; whatever the cut, the
  // kept part must end on a character boundary.
  for (int pad = 0; pad < 4; ++pad) {
    std::string path = "D:\\" + std::string(static_cast<std::size_t>(pad), 'x');
    for (int i = 0; i < 40; ++i) path += "网";
    path += "\\站点\\默认.asp";
    const std::string shown = CompactPathForLabel(path);
    ASSERT_LE(shown.size(), 59u);
    const std::size_t dots = shown.find("...");
    ASSERT_NE(dots, std::string::npos) << shown;
    const std::string head = shown.substr(0, dots);
    std::size_t i = 0;
    while (i < head.size()) i += static_cast<unsigned char>(head[i]) >= 0x81 ? 2 : 1;
    EXPECT_EQ(i, head.size()) << "pad " << pad;
    EXPECT_EQ(shown.substr(dots), "...\\默认.asp");
  }
}

}  // namespace
}  // namespace zelk::manager
