#include "filter/patterns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "filter/byte_blocks.h"

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

// FoldSubject: what changes, what stays, and that an unchanged text is not
// copied.
TEST(FoldSubject, FoldsWhatSqlReadsAsBlankAndMasksGbkPunctuation) {
  const struct {
    std::string in, out;
  } cases[] = {
      // Blanks and control bytes: one space per run.
      {"1\x01"
       "and\x01\x1F"
       "1=1",
       "1 and 1=1"},
      {"a \t\n\r  b", "a b"},
      // No blank beside '(', nor before ')'; one after ')' is kept.
      {"sleep ( 5 ) or x", "sleep(5) or x"},
      {"1 and\t(\x01select/**/1 )", "1 and(select 1)"},
      {"x/**/( y", "x(y"},
      // Complete comments are blanks, whatever their length; "UN/**/ION" is
      // two words as SQL reads it.
      {"union/**/select", "union select"},
      {"union /*" + std::string(500, 'x') + "*/ select", "union select"},
      {"UN/**/ION", "UN ION"},
      // A MySQL versioned comment runs its content.
      {"1/*!50000union*//*!select*/1", "1 union select 1"},
      {"1/*!0union/*!0all/*!0select 1", "1 union all select 1"},
      // A line comment ended by a line feed is a blank; one left open stays.
      {"union--x\nselect", "union select"},
      {"union#" + std::string(300, 'x') + "\nselect", "union select"},
      // GBK characters whose second byte is '`', '|' or '@' lose it; other
      // pairs, and bytes that form no pair, are kept.
      {"\xB0\x60; \x81\x7C\x7C \x81\x40\x40x", "\xB0\xFF; \x81\xFF\x7C \x81\xFF\x40x"},
      {"a\xB0\x60", "a\xB0\xFF"},
      // Typographic single quotes and the prime are quotes.
      {"\xE2\x80\x99 or \xE2\x80\x98"
       "1\xE2\x80\xB2=\xE2\x80\x99"
       "1",
       "' or '1'='1"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_TRUE(FoldSubject(c.in, &out)) << c.in;
    EXPECT_EQ(out, c.out) << c.in;
  }
  const std::string unchanged[] = {
      "",
      "q=1 and 1=2&x=y",
      "f(x) and y(z)",                     // a blank after ")" is kept
      "admin'--",                          // an open comment ends the injection
      "a/*b",                              // no end: not a comment
      "#ff0000 -- x",                      // no line feed after either
      "\xD5\x27 or 1=1",                   // 0x27 is no trail byte: the quote stays
      "\xD6\xD0\xCE\xC4\x81\x5C\x81\x7B",  // pairs whose second byte is harmless
      "\x80\x60",                          // 0x80 starts no character
      "\xE2\x80\x9C",                      // a double quotation mark is no quote
      "\xB0\xE2\x80\x99",                  // 0xE2 ends a GBK pair here
  };
  for (const std::string& text : unchanged) {
    std::string out = "untouched";
    EXPECT_FALSE(FoldSubject(text, &out)) << text;
    EXPECT_EQ(out, "untouched");
  }
}

TEST(ByteBlocks, AgreeWithTheTestByteByByteForEveryByteAtEveryPlace) {
  using namespace blocks;
  const unsigned char fillers[] = {'a', 'Z', 'm', '=', '0', '~', ' ', 0x00, 0x80, 0xFF};
  for (const unsigned char filler : fillers) {
    for (int b = 0; b < 256; ++b) {
      for (int k = 0; k < 8; ++k) {
        unsigned char bytes[8];
        std::memset(bytes, filler, sizeof bytes);
        bytes[k] = static_cast<unsigned char>(b);
        const std::uint64_t x = Load(bytes);
        auto any = [&](auto kind) { return std::any_of(bytes, bytes + 8, kind); };
        const auto where = ::testing::Message()
                           << "filler " << int(filler) << " byte " << b << " at " << k;
        for (const unsigned n : {1u, 0x21u, 0x61u, 0x80u}) {
          EXPECT_EQ(AnyBelow(x, n) != 0, any([&](unsigned char c) { return c < n; })) << where;
        }
        for (const unsigned n : {0x00u, 0x7Au, 0x7Fu}) {
          EXPECT_EQ(AnyAbove(x, n) != 0, any([&](unsigned char c) { return c > n; })) << where;
        }
        for (const unsigned char c : {'/', '*', '#', '-', '\0'}) {
          EXPECT_EQ(AnyEqual(x, c) != 0, any([&](unsigned char d) { return d == c; })) << where;
        }
        EXPECT_EQ(AnyNonLetter(x) != 0, any([](unsigned char c) {
                    return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
                  }))
            << where;
      }
    }
  }
}

// Each way of measuring a run against its definition byte by byte: never
// past the run's end, and short of it by less than a block of sixteen.
TEST(ByteBlocks, RunLengthsStopAtTheFirstByteOfAnotherKind) {
  using namespace blocks;
  using Run = std::size_t (*)(const unsigned char*, std::size_t);
  static constexpr auto letter = [](const unsigned char* s, std::size_t k) {
    return (s[k] >= 'a' && s[k] <= 'z') || (s[k] >= 'A' && s[k] <= 'Z');
  };
  // '-', '/' and '*' end a plain run only where they open or close a
  // comment with the next byte (s[40] is the end of every text below).
  const auto fold_plain = [](const unsigned char* s, std::size_t k) {
    const unsigned char c = s[k];
    const bool paren = c == '(' || c == ')';
    const unsigned char next = k + 1 < 40 ? s[k + 1] : 0;
    return c >= 0x20 && c <= 0x7F && c != '#' && !(c == '-' && next == '-') &&
           !(c == '/' && next == '*') && !(c == '*' && next == '/') &&
           !(c == ' ' && (s[k - 1] == ' ' || s[k - 1] == '(')) && !(paren && s[k - 1] == ' ');
  };
  struct Kind {
    const char* name;
    bool (*is)(const unsigned char*, std::size_t);
    std::vector<Run> runs;
    unsigned char filler;
  };
  std::vector<Kind> kinds = {
      {"letters", letter, {LetterRun8, LetterRun}, 'q'},
      {"fold plain", fold_plain, {FoldPlainRun8, FoldPlainRun}, 'q'},
      {"fold plain, spaced", fold_plain, {FoldPlainRun8, FoldPlainRun}, ' '},
      {"fold plain, parenthesised", fold_plain, {FoldPlainRun8, FoldPlainRun}, '('}};
  for (const Kind& kind : kinds) {
    for (int b = 0; b < 256; ++b) {
      for (std::size_t at = 0; at < 40; ++at) {
        // bytes[0] stands before the run; a spaced filler alternates with 'q'.
        unsigned char bytes[41];
        for (std::size_t k = 0; k < sizeof bytes; ++k) bytes[k] = k % 2 ? kind.filler : 'q';
        bytes[1 + at] = static_cast<unsigned char>(b);
        const unsigned char* s = bytes + 1;
        std::size_t run = 0;
        while (run < 40 && kind.is(s, run)) ++run;
        for (const Run measure : kind.runs) {
          const std::size_t got = measure(s, 40);
          EXPECT_LE(got, run) << kind.name << " byte " << b << " at " << at;
          // The eight-byte space-pair test borrows into the byte after a
          // space: a '!' there ends the block early (harmless, only slower).
          // It also stops at every parenthesis.
          // Both may stop at a '-', '/' or '*' that ends no run (the eight-
          // byte one at every one; the sixteen-byte one is checked below).
          const bool comment_byte = b == '-' || b == '/' || b == '*';
          if ((measure == FoldPlainRun8 &&
               (b == '!' || b == '(' || b == ')' || kind.filler == '(')) ||
              (comment_byte && kind.is != +letter)) {
            continue;
          }
          EXPECT_GE(got, run / 16 * 16) << kind.name << " byte " << b << " at " << at;
        }
#if defined(__SSE2__)
        // Sixteen at a time, the last bytes in an overlapping block: exact,
        // but that a '-', '/' or '*' in the last byte of a block, whose next
        // byte it does not see, ends the run there.
        for (const Run measure : {Run{LetterRun16}, Run{FoldPlainRun16}}) {
          if ((measure == LetterRun16) != (kind.is == +letter)) continue;
          const bool blind = measure == FoldPlainRun16 && (b == '-' || b == '/' || b == '*') &&
                             (at == 15 || at == 31 || at == 39);
          EXPECT_EQ(measure(s, 40), blind ? std::min(at, run) : run)
              << kind.name << " byte " << b << " at " << at;
        }
#endif
      }
    }
  }
  // A pair that opens or closes a comment ends every run at its first byte.
  for (const char* pair : {"--", "/*", "*/"}) {
    for (std::size_t at = 0; at + 1 < 40; ++at) {
      unsigned char bytes[41];
      std::fill(std::begin(bytes), std::end(bytes), 'q');
      bytes[1 + at] = static_cast<unsigned char>(pair[0]);
      bytes[2 + at] = static_cast<unsigned char>(pair[1]);
      EXPECT_LE(FoldPlainRun8(bytes + 1, 40), at) << pair << " at " << at;
      EXPECT_EQ(FoldPlainRun(bytes + 1, 40), at) << pair << " at " << at;
    }
  }
}

TEST(ByteBlocks, MarkupAndEscapeRunsStopAtEveryByteTheyEndAtWhereverItStands) {
  for (int b = 0; b < 256; ++b) {
    const bool markup = b == '&' || b == '<' || b == '>' || b == '"' || b == '\'';
    const bool escape = b == '%' || b == '+';
    for (std::size_t at = 0; at < 40; ++at) {
      unsigned char bytes[40];
      std::fill(std::begin(bytes), std::end(bytes), 'q');
      bytes[at] = static_cast<unsigned char>(b);
      const std::size_t run = markup ? at : 40;
      const std::size_t eight = blocks::MarkupFreeRun8(bytes, 40);
      EXPECT_LE(eight, run) << b << " at " << at;
      EXPECT_GE(eight, run / 8 * 8) << b << " at " << at;
      EXPECT_LE(blocks::MarkupFreeRun(bytes, 40), run) << b << " at " << at;
      const std::size_t plain = escape ? at : 40;
      const std::size_t plain8 = blocks::RunWithoutEither8(bytes, 40, '%', '+');
      EXPECT_LE(plain8, plain) << b << " at " << at;
      EXPECT_GE(plain8, plain / 8 * 8) << b << " at " << at;
#if defined(__SSE2__)
      EXPECT_EQ(blocks::MarkupFreeRun16(bytes, 40), run) << b << " at " << at;
      EXPECT_EQ(blocks::RunWithoutEither16(bytes, 40, '%', '+'), plain) << b << " at " << at;
#endif
    }
  }
}

TEST(FoldSubject, FoldsTheSameWhereverTheCaseStandsInALongPlainRun) {
  // Plain runs (single spaces included) are passed a block at a time: a
  // second blank, comment marker or GBK pair must be seen at every place in
  // and across those blocks.
  const std::string parts[] = {"1\x01and",
                               "a \t b",
                               "x/**/y",
                               "1/*!5union*/",
                               "u--x\nselect",
                               "\xB0\x60;",
                               "#\nz",
                               "a\xFF\x80"
                               "b",
                               "-1-2",
                               "x y z",
                               "a  b",
                               "a \x01 b",
                               "a /**/ b",
                               "a --x\n",
                               "f ( x )",
                               "a )( b",
                               "zh-cn-/x/-/*y*/z",
                               "a-/**/-b",
                               "a/--x\nb",
                               "x-(-/ (z"};
  for (const std::string& part : parts) {
    std::string alone;
    if (!FoldSubject(part, &alone)) alone = part;
    for (std::size_t before = 0; before <= 17; ++before) {
      const std::string prefix(before, 'q'), suffix(17 - before, '=');
      std::string out;
      const std::string in = prefix + part + suffix;
      if (!FoldSubject(in, &out)) out = in;
      EXPECT_EQ(out, prefix + alone + suffix) << before << " " << part;
    }
  }
}

TEST(FoldSubject, ReadsGbkPairsFromTheStart) {
  // 0x81 0x81 is a pair, so the '|' after it stands alone; one byte later
  // 0x81 '|' is a pair.
  std::string out;
  EXPECT_FALSE(FoldSubject("\x81\x81|", &out));
  EXPECT_TRUE(FoldSubject("x\x81\x81\x81|", &out));
  EXPECT_EQ(out, "x\x81\x81\x81\xFF");
}

TEST(FoldSubject, IsLinearOnHostileInput) {
  // Open comments with no end and comment markers with no line feed must not
  // make each marker search the rest of the text again: 1 MB of them folds
  // in a single pass (a quadratic fold would take minutes).
  std::string open_comments;
  while (open_comments.size() < (1u << 20)) open_comments += "/*-- #";
  std::string out;
  EXPECT_FALSE(FoldSubject(open_comments, &out));
  std::string closed;
  while (closed.size() < (1u << 20)) closed += "/*!1 */--\n";
  EXPECT_TRUE(FoldSubject(closed, &out));
  EXPECT_EQ(out.find_first_not_of(' '), std::string::npos);
}

TEST(CompilePatterns, OnlyTheBuiltInInjectionTextsFoldTheSubject) {
  FilterSettings s;
  s.SqlGetValue = "union select";
  const CompiledPatterns custom = CompilePatterns(s);
  // The custom text sees the subject as sent...
  EXPECT_FALSE(MatchPattern(custom.get, "union/**/select"));
  EXPECT_TRUE(MatchPattern(custom.get, "union select"));
  // ...the built-in texts see it folded.
  EXPECT_TRUE(MatchPattern(custom.post, "1 union/*" + std::string(300, 'x') + "*/select 1"));
  EXPECT_FALSE(MatchPattern(custom.post, "q=\xB0\x60; drop"));
  EXPECT_TRUE(MatchPattern(custom.post, "q=a`; drop table t"));
}

TEST(CompilePatterns, ACustomTextThatIsABuiltInTextMeansWhatItMeans) {
  // Text 2 set as the query's custom text, text 1 as the cookie's: each
  // reads the folded subject as the built-in one does, and text 2 still ends
  // a value at ';' in the query.
  FilterSettings s;
  s.SqlGetValue = BuiltinPatternText(2);
  s.SqlCookieValue = BuiltinPatternText(1);
  const CompiledPatterns p = CompilePatterns(s);
  for (const Pattern* pattern : {&p.get, &p.cookie}) {
    EXPECT_TRUE(MatchPattern(*pattern, "id=1\t and \t1=1"));
    EXPECT_TRUE(MatchPattern(*pattern, "id=1 union/*" + std::string(300, 'x') + "*/select 1"));
    EXPECT_FALSE(MatchPattern(*pattern, "q=\xB0\x60; drop"));
  }
  EXPECT_TRUE(MatchPattern(p.get, "q=sleep(5);x=1"));
  EXPECT_FALSE(MatchPattern(p.cookie, "q=sleep(5);x=1"));
  // The same pattern written otherwise is a custom text like any other,
  // matched against the subject as sent.
  s.SqlGetValue = BuiltinPatternText(1) + "|(?!)";
  EXPECT_FALSE(MatchPattern(CompilePatterns(s).get, "id=1\t and \t1=1"));
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
