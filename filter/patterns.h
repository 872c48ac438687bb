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

// A compiled pattern; absent when the text did not compile. Movable, not
// copyable. Match may be called from several threads at once.
class Pattern {
 public:
  Pattern() = default;
  static Pattern Compile(const std::string& text, bool use_jit = true, MatchLimits limits = {});
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
// compiled as read (cut to 2047 bytes by the settings reader).
CompiledPatterns CompilePatterns(const FilterSettings& settings, bool use_jit = true);

// The plain built-in texts (1: query strings, 2: POST bodies and cookies,
// 3: spare), descrambled from the module's data.
std::string BuiltinPatternText(int number);

}  // namespace zelk::filter
