// The injection patterns: descrambling the built-in texts, compiling with PCRE
// 8.x (8-bit, no UTF-8 mode, PCRE_CASELESS | PCRE_DOTALL, the library's own
// character tables) and matching.
//
// Matching is bounded: every pcre_exec runs with a match limit and a
// recursion limit, and with the JIT where the library has it. Hitting a
// bound counts as a match (the request is treated as an attack) rather than
// as no match, so that an attacker cannot switch the check off by making the
// pattern work hard; the built-in patterns never come near the bounds on
// ordinary input.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "filter/settings.h"

namespace zelk::filter {

inline constexpr char kScrambleKey[] = "QIRVOTEX19870412";
inline constexpr std::size_t kPatternBufferSize = 2048;

// out[i] = in[i] XOR (key[i mod 16] AND 0x0A). Its own inverse. The text must
// be shorter than kPatternBufferSize bytes; a longer one is cut there.
std::string DescramblePattern(std::string_view scrambled);

enum class MatchResult { kNoMatch, kMatch, kLimitExceeded };

struct MatchLimits {
  unsigned long match_limit = 1000000;
  unsigned long recursion_limit = 2000;
};

// The subject as the built-in texts read it. Writes into *out a copy of text
// with what SQL reads as blank folded, so that gaps of any length cost the
// pattern nothing and cannot hide a statement:
// - a run of bytes 0x00-0x20 (SQL Server reads 0x01-0x1F as blanks) becomes
//   one space, and none is left before or after '(' or before ')' ("sleep ( 5
//   )" is "sleep(5)"), so the texts need not allow for one there;
// - a complete "/* */" comment becomes one space, as SQL reads it ("UN/**/ION"
//   is two words, not UNION); a MySQL "/*!50000" opener (closed or not) and
//   its "*/" become spaces, as MySQL runs what they hold;
// - a "--" or "#" comment ended by a line feed becomes one space (one left
//   open to the end of the text stays as it is: it is what ends an
//   injection);
// - a UTF-8 left or right single quotation mark or prime (U+2018, U+2019,
//   U+2032) becomes a quote, as SQL Server's best fit to a one-byte code
//   page makes it;
// - the second byte of a two-byte GBK character that is '`', '|' or '@'
//   becomes 0xFF, so Chinese text never reads as a backtick-quoted name, an
//   "||" or an "@variable". Pairs are read from the start of the text as a
//   GBK reader reads them: "%D5%27" is no pair and keeps its quote.
// Returns false, leaving *out alone, when nothing changes. Linear in the
// length of text whatever it holds.
bool FoldSubject(std::string_view text, std::string* out);

// A compiled pattern; absent when the text did not compile. Movable, not
// copyable. Match may be called from several threads at once.
class Pattern {
 public:
  Pattern() = default;
  // With fold_subject, Match matches FoldSubject's copy of its subject.
  static Pattern Compile(const std::string& text, bool use_jit = true, MatchLimits limits = {},
                         bool fold_subject = false);
  // Built-in text number 1, 2 or 3; texts 1 and 2 with fold_subject, and
  // without starting PCRE on a subject MayMatchInjectionTexts passes.
  static Pattern CompileBuiltin(int number, bool use_jit = true, MatchLimits limits = {});
  ~Pattern();
  Pattern(Pattern&& other) noexcept;
  Pattern& operator=(Pattern&& other) noexcept;
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  bool ok() const { return code_ != nullptr; }
  const std::string& error() const { return error_; }
  bool jit() const { return jit_; }
  MatchResult Match(std::string_view subject) const;

 private:
  void Reset();
  void* code_ = nullptr;   // pcre*
  void* extra_ = nullptr;  // pcre_extra*
  bool jit_ = false;
  bool fold_subject_ = false;
  bool (*gate_)(std::string_view folded) = nullptr;
  std::string error_;
};

// No pattern (absent) never matches; a bound reached counts as a match.
bool MatchPattern(const Pattern& pattern, std::string_view text);

struct CompiledPatterns {
  Pattern get;
  Pattern post;
  Pattern cookie;
  Pattern spare;
};

// A custom text replaces its built-in text completely; custom texts are
// compiled as read (cut to 2047 bytes by the settings reader) and match the
// subject as it is, not folded as for the built-in texts.
CompiledPatterns CompilePatterns(const FilterSettings& settings, bool use_jit = true);

// The plain built-in texts (1: query strings, 2: POST bodies and cookies,
// 3: spare), descrambled from the module's data.
std::string BuiltinPatternText(int number);

// What CompileBuiltin compiles: the fast form of text 1 or 2 (the same
// matches, longer than a text may be), text 3 as it is.
std::string BuiltinFastPatternText(int number);

}  // namespace zelk::filter
