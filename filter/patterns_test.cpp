#include "filter/patterns.h"

#include <gtest/gtest.h>

namespace zelk::filter {
namespace {

TEST(DescramblePattern, IsItsOwnInverseAndUsesOnlyBitsOneAndThreeOfTheKey) {
  std::string text;
  for (int i = 0; i < 256; ++i) text.push_back(static_cast<char>(i));
  const std::string once = DescramblePattern(text);
  EXPECT_NE(once, text);
  EXPECT_EQ(DescramblePattern(once), text);
  // 'Q' is 0x51: 0x51 & 0x0A = 0x00, so byte 0 is kept; 'I' is 0x49: & 0x0A = 0x08.
  EXPECT_EQ(once[0], text[0]);
  EXPECT_EQ(static_cast<unsigned char>(once[1]), 1u ^ 0x08u);
  // '1' (0x31) & 0x0A = 0x00; '9' (0x39) & 0x0A = 0x08; position 9 is '9'.
  EXPECT_EQ(static_cast<unsigned char>(once[9]), 9u ^ 0x08u);
}

TEST(DescramblePattern, CutsAt2047Bytes) {
  EXPECT_EQ(DescramblePattern(std::string(3000, 'x')).size(), 2047u);
}

TEST(Pattern, MatchesCaselessAndDotAllAnywhere) {
  for (bool jit : {true, false}) {
    const Pattern p = Pattern::Compile("union.select", jit);
    ASSERT_TRUE(p.ok()) << p.error();
    EXPECT_TRUE(MatchPattern(p, "1 UNION\nSELECT 2"));
    EXPECT_FALSE(MatchPattern(p, "unionselect"));
    // Case folding covers ASCII only: the pattern's bytes never fold GBK.
    const Pattern g = Pattern::Compile("\xD6\xD0", jit);
    EXPECT_TRUE(MatchPattern(g, "x\xD6\xD0y"));
    EXPECT_FALSE(MatchPattern(g, "x\xF6\xF0y"));
  }
}

TEST(Pattern, AnEmptySubjectIsStillRun) {
  const Pattern p = Pattern::Compile("^$");
  EXPECT_TRUE(MatchPattern(p, ""));
}

TEST(Pattern, ATextThatDoesNotCompileIsAbsentAndNeverMatches) {
  const Pattern p = Pattern::Compile("(unbalanced");
  EXPECT_FALSE(p.ok());
  EXPECT_FALSE(p.error().empty());
  EXPECT_FALSE(MatchPattern(p, "(unbalanced"));
  EXPECT_FALSE(MatchPattern(Pattern(), ""));
}

TEST(Pattern, ReachingTheBoundsCountsAsAMatch) {
  // Catastrophic backtracking on purpose: nested quantifiers that cannot reach the end.
  const std::string subject = std::string(40, 'a') + "!";
  for (bool jit : {true, false}) {
    const Pattern p = Pattern::Compile("^(a+)+$", jit, MatchLimits{10000, 2000});
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(p.Match(subject), MatchResult::kLimitExceeded) << "jit=" << jit;
    EXPECT_TRUE(MatchPattern(p, subject));
  }
  const Pattern deep = Pattern::Compile("(?:a|b)*c", false, MatchLimits{10000000, 50});
  EXPECT_EQ(deep.Match(std::string(1000, 'a')), MatchResult::kLimitExceeded);
}

TEST(Pattern, MovesOwnership) {
  Pattern a = Pattern::Compile("abc");
  Pattern b = std::move(a);
  EXPECT_TRUE(b.ok());
  EXPECT_FALSE(a.ok());  // NOLINT(bugprone-use-after-move): moved-from is absent by contract
  a = std::move(b);
  EXPECT_TRUE(MatchPattern(a, "xabcx"));
}

TEST(CompilePatterns, CustomTextsReplaceTheBuiltInOnes) {
  FilterSettings s;
  CompiledPatterns builtin = CompilePatterns(s);
  EXPECT_TRUE(builtin.get.ok());
  EXPECT_TRUE(builtin.post.ok());
  EXPECT_TRUE(builtin.cookie.ok());
  EXPECT_TRUE(builtin.spare.ok());
  EXPECT_TRUE(MatchPattern(builtin.get, "1 union select 1,2"));
  EXPECT_TRUE(MatchPattern(builtin.cookie, "1 union select 1,2"));

  s.SqlGetValue = "onlythis";
  s.SqlCookieValue = "(broken";
  CompiledPatterns custom = CompilePatterns(s);
  EXPECT_TRUE(MatchPattern(custom.get, "ONLYTHIS"));
  EXPECT_FALSE(MatchPattern(custom.get, "1 union select 1,2"));
  EXPECT_FALSE(custom.cookie.ok());
  EXPECT_TRUE(MatchPattern(custom.post, "1 union select 1,2"));  // POST keeps built-in text 2
}

TEST(BuiltinPatternText, AllThreeAreShorterThan2048BytesAndCompile) {
  for (int n = 1; n <= 3; ++n) {
    const std::string text = BuiltinPatternText(n);
    EXPECT_FALSE(text.empty()) << n;
    EXPECT_LT(text.size(), 2048u) << n;
    EXPECT_EQ(text.find('\0'), std::string::npos) << n;
    EXPECT_TRUE(Pattern::Compile(text).ok()) << n;
  }
  EXPECT_TRUE(BuiltinPatternText(4).empty());
}

}  // namespace
}  // namespace zelk::filter
