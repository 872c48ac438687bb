// The YARA-language engine: one table of (rule, data, verdict) cases covering
// each construct of the subset, one table of compile errors with their lines,
// and the bounds (hostile regular expressions, match caps). The same verdicts
// are checked against libyara by yara_differential_test.
#include "scanner/yara_rules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "scanner/yara_feature_cases.h"

namespace zelk::scanner {
namespace {

bool Matches(const std::string& source, const std::string& data, const Externals& ext = {},
             bool jit = true) {
  RuleSet set;
  set.SetJit(jit);
  std::vector<CompileError> errors;
  EXPECT_TRUE(set.AddSource("t.yar", source, &errors)) << source << "\n"
                                                       << (errors.empty() ? "" : errors[0].Text());
  const std::vector<std::string> found = set.Match(data, ext);
  return !found.empty();
}

TEST(YaraRules, EveryFeatureCaseGivesItsVerdictWithAndWithoutTheJit) {
  for (const bool jit : {true, false}) {
    for (const FeatureCase& c : FeatureCases()) {
      Externals ext;
      ext.filename = c.filename;
      ext.filepath = std::string("/site/") + c.filename;
      const std::size_t dot = ext.filename.rfind('.');
      ext.extension = dot == std::string::npos ? "" : ext.filename.substr(dot + 1);
      ext.filetype = FileTypeOf(c.data);
      ext.owner = "www-data";
      EXPECT_EQ(Matches(c.rule, c.data, ext, jit), c.matches)
          << "rule: " << c.rule << "\ndata: " << c.data << "\njit: " << jit;
    }
  }
}

TEST(YaraRules, ReportsRuleNamesInOrderAndLeavesPrivateOnesOut) {
  RuleSet set;
  std::vector<CompileError> errors;
  ASSERT_TRUE(set.AddSource("a.yar", R"(
    private rule helper { strings: $e = "eval" condition: $e }
    rule second { condition: helper and filesize > 3 }
    rule first { strings: $x = "x" condition: $x }
  )",
                            &errors));
  EXPECT_EQ(set.Match("eval(x)", {}), (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(set.Match("evil", {}), std::vector<std::string>{});
  ASSERT_EQ(set.rule_count(), 3u);
  EXPECT_TRUE(set.Rules()[0].is_private);
}

TEST(YaraRules, GlobalRuleGatesOnlyItsOwnFile) {
  RuleSet set;
  std::vector<CompileError> errors;
  ASSERT_TRUE(set.AddSource("g.yar", R"(
    global rule small { condition: filesize < 10 }
    rule php { strings: $p = "<?php" condition: $p }
  )",
                            &errors));
  ASSERT_TRUE(
      set.AddSource("o.yar", R"(rule other { strings: $p = "<?php" condition: $p })", &errors));
  // A global rule that is not private is reported like any other.
  EXPECT_EQ(set.Match("<?php", {}), (std::vector<std::string>{"small", "php", "other"}));
  EXPECT_EQ(set.Match("<?php echo 'long file';", {}), std::vector<std::string>{"other"});
}

TEST(YaraRules, CompileErrorsNameFileLineAndFeature) {
  struct Case {
    const char* source;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"import \"pe\"\nrule a { condition: true }", 1, "feature not supported: import"},
      {"rule a {\n strings:\n  $a = \"x\" xor\n condition: $a }", 3,
       "feature not supported: string modifier xor"},
      {"rule a {\n strings:\n  $a = \"x\"\n condition:\n  for any of ($a) : ($ at 0) }", 5,
       "feature not supported: for loops"},
      {"rule a { condition:\n pe.is_dll() }", 2, "feature not supported: modules"},
      {"rule a {\n strings: $a = /x/ wide\n condition: $a }", 2,
       "feature not supported: wide regular expressions"},
      {"rule a { condition: 1.5 > 1 }", 1, "feature not supported: floating-point"},
      {"rule a {\n strings:\n  $a = \"x\"\n  $b = \"y\"\n condition: $a\n}", 6,
       "unreferenced string \"$b\""},
      {"rule a { strings: $a = \"x\" $a = \"y\" condition: $a }", 1, "duplicated string"},
      {"rule a { condition: $z }", 1, "undefined string identifier \"$z\""},
      {"rule a { condition: nosuch }", 1, "undefined identifier \"nosuch\""},
      {"rule a {\n\n condition: true\n", 4, "syntax error"},
      {"rule a { strings: $a = { 4D 5 } condition: $a }", 1, "syntax error"},
      {"rule a { strings: $a = { 4D ~5A } condition: $a }", 1, "feature not supported"},
      {"rule a { strings: $a = /(unclosed/ condition: $a }", 1, "invalid regular expression"},
      {"rule a { strings: $a = \"\" condition: $a }", 1, "empty string"},
      {"rule a { condition: true }\nrule a { condition: true }", 2, "duplicated identifier"},
      {"rule a {\n strings: $a = { 4D 5A } nocase\n condition: $a }", 2, "invalid modifier"},
      {"rule a { condition: b }\nrule b { condition: true }", 1, "undefined identifier \"b\""},
      {"rule a {\n condition: filesize \\ 0 > 1 }", 2, "division by zero"},
  };
  for (const Case& c : cases) {
    RuleSet set;
    std::vector<CompileError> errors;
    EXPECT_FALSE(set.AddSource("dir/x.yar", c.source, &errors)) << c.source;
    ASSERT_EQ(errors.size(), 1u) << c.source;
    EXPECT_EQ(errors[0].file, "dir/x.yar");
    EXPECT_EQ(errors[0].line, c.line) << c.source << "\n" << errors[0].Text();
    EXPECT_NE(errors[0].message.find(c.message), std::string::npos) << c.source << "\n"
                                                                    << errors[0].Text();
    EXPECT_EQ(errors[0].Text().rfind("dir/x.yar:" + std::to_string(c.line) + ": ", 0), 0u);
    EXPECT_EQ(set.rule_count(), 0u);
  }
}

TEST(YaraRules, ABrokenFileKeepsNothingAndTheOthersStillMatch) {
  RuleSet set;
  std::vector<CompileError> errors;
  EXPECT_TRUE(
      set.AddSource("good1.yar", "rule g1 { strings: $a = \"eval\" condition: $a }", &errors));
  EXPECT_FALSE(set.AddSource(
      "bad.yar", "rule fine { condition: true }\nrule broken { condition: for }", &errors));
  EXPECT_TRUE(
      set.AddSource("good2.yar", "rule g2 { strings: $a = /ev[a]l/ condition: $a }", &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].Text().rfind("bad.yar:2: ", 0), 0u) << errors[0].Text();
  EXPECT_EQ(set.Match("eval", {}), (std::vector<std::string>{"g1", "g2"}));
}

TEST(YaraRules, HostileDataStaysBounded) {
  // Nested repetition against a long run of one byte: the match limit stops
  // each attempt, so the scan ends and simply finds nothing more.
  RuleSet set;
  std::vector<CompileError> errors;
  ASSERT_TRUE(set.AddSource("h.yar", R"(
    rule nested { strings: $a = /(a+)+b/ condition: $a }
    rule many { strings: $a = "a" condition: #a == 1000000 }
  )",
                            &errors))
      << errors[0].Text();
  const std::string data(1 << 16, 'a');
  EXPECT_EQ(set.Match(data, {}), std::vector<std::string>{});
  // Matches per string are capped.
  const std::string big(kMaxMatchesPerString + 10, 'a');
  EXPECT_EQ(set.Match(big, {}), std::vector<std::string>{"many"});
}

TEST(YaraRules, FileTypeComesFromTheFirstBytes) {
  EXPECT_EQ(FileTypeOf("GIF89a..."), "GIF");
  EXPECT_EQ(FileTypeOf(std::string("\xff\xd8\xff\xe0", 4)), "JPEG");
  EXPECT_EQ(FileTypeOf("\x89PNG\r\n\x1a\n...."), "PNG");
  EXPECT_EQ(FileTypeOf("MZ\x90"), "EXE");
  EXPECT_EQ(FileTypeOf("<?php"), "");
  EXPECT_EQ(FileTypeOf(""), "");
}

}  // namespace
}  // namespace zelk::scanner
