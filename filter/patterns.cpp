#include "filter/patterns.h"

#include <pcre.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "filter/builtin_patterns.h"
#include "filter/byte_blocks.h"
#include "filter/pattern_gate.h"
#include "platform/pcre_jit_stack.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

constexpr int kCompileOptions = PCRE_CASELESS | PCRE_DOTALL;

// The JIT's default stack is 32 KB of the calling thread's stack. A larger
// stack of our own, lent per match, keeps deep but legitimate matches from
// failing; its size bounds what a single match may use.
platform::JitStackPool& JitStacks() {
  static platform::JitStackPool pool(32 * 1024, 512 * 1024);
  return pool;
}

// Bytes FoldSubject copies as they are wherever they stand, but for a
// parenthesis after a blank: not blank, not a GBK lead byte, not one that can
// start or end a comment.
constexpr std::array<bool, 256> MakeFoldPlain() {
  std::array<bool, 256> plain{};
  for (int c = 0x21; c <= 0x80; ++c) plain[c] = c != '/' && c != '*' && c != '#' && c != '-';
  plain[0xFF] = true;
  return plain;
}
constexpr std::array<bool, 256> kFoldPlain = MakeFoldPlain();

constexpr bool IsParen(unsigned char c) { return c == '(' || c == ')'; }

// Whether s[k] (0 < k < n) is copied as it is after s[k - 1] was: a plain
// byte, a single space not after '(', or a '-', '/' or '*' that opens or
// closes no comment with the byte after it; a parenthesis after a space is
// not.
inline bool FoldsToItself(const unsigned char* s, std::size_t k, std::size_t n) {
  const unsigned char c = s[k];
  if (c == ' ') return s[k - 1] != ' ' && s[k - 1] != '(';
  if (c == '-') return k + 1 == n || s[k + 1] != '-';
  if (c == '/') return k + 1 == n || s[k + 1] != '*';
  if (c == '*') return k + 1 == n || s[k + 1] != '/';
  return kFoldPlain[c] && !(IsParen(c) && s[k - 1] == ' ');
}

std::string Descramble(std::string_view scrambled) {
  std::string out(scrambled.size(), '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(static_cast<unsigned char>(scrambled[i]) ^
                               (static_cast<unsigned char>(kScrambleKey[i % 16]) & 0x0A));
  }
  return out;
}

}  // namespace

std::string DescramblePattern(std::string_view scrambled) {
  return Descramble(scrambled.substr(0, kPatternBufferSize - 1));
}

bool FoldSubject(std::string_view text, std::string* out) {
  const std::size_t n = text.size();
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  // The copy is started at the first change; until then the text is only read.
  // It is written into *out sized to the text (folding never lengthens it)
  // through w, and cut to its length at the end.
  bool copying = false;
  char* start = nullptr;
  char* w = nullptr;
  std::size_t next_close = 0;       // the next "*/" at or after a comment's body; n when none
  std::size_t next_line = 0;        // the next line feed; n when none
  std::size_t versioned_close = n;  // the "*/" of an open "/*!" comment
  auto copy_up_to = [&](std::size_t i) {
    if (copying) return;
    out->resize(n);
    start = out->data();
    std::memcpy(start, s, i);
    w = start + i;
    copying = true;
  };
  auto put = [&](char c) { *w++ = c; };
  auto last = [&](std::size_t i) -> int {
    if (copying) return w == start ? -1 : static_cast<unsigned char>(w[-1]);
    return i == 0 ? -1 : s[i - 1];
  };
  // No blank after a blank or after '('.
  auto takes_blank = [&](std::size_t i) {
    const int before = last(i);
    return before != ' ' && before != '(';
  };
  auto blank = [&](std::size_t i) {
    copy_up_to(i);
    if (takes_blank(i)) put(' ');
  };
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (kFoldPlain[c] && !(IsParen(c) && last(i) == ' ')) {
      // A single space inside a run folds to itself and is kept in the run.
      // Whole blocks first: printable ASCII and single spaces, starting no
      // comment or GBK character.
      // Past a byte the blocks stop at but that folds to itself (a '-' in
      // "zh-cn", a parenthesis), the blocks take over again.
      std::size_t end = i + 1;
      for (;;) {
        end += blocks::FoldPlainRun(s + end, n - end);
        if (end == n || !FoldsToItself(s, end, n)) break;
        ++end;
      }
      if (copying) {
        std::memcpy(w, s + i, end - i);
        w += end - i;
      }
      i = end;
      continue;
    }
    if (c == 0xE2 && i + 2 < n && s[i + 1] == 0x80 &&
        (s[i + 2] == 0x98 || s[i + 2] == 0x99 || s[i + 2] == 0xB2)) {
      // UTF-8 for U+2018, U+2019 and U+2032: SQL Server's best fit to a
      // one-byte code page turns each into a quote, so they read as one.
      copy_up_to(i);
      put('\'');
      i += 3;
      continue;
    }
    if (IsGbkLeadByte(c) && i + 1 < n && IsGbkTrailByte(s[i + 1])) {
      const unsigned char t = s[i + 1];
      if (t == '`' || t == '|' || t == '@') {
        copy_up_to(i);
        put(static_cast<char>(c));
        put('\xFF');
      } else if (copying) {
        put(static_cast<char>(c));
        put(static_cast<char>(t));
      }
      i += 2;
      continue;
    }
    if (c <= 0x20) {
      if (c == ' ' && takes_blank(i)) {
        if (copying) put(' ');
      } else {
        blank(i);
      }
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
      if (next_close < i + 2) {
        const std::size_t at = text.find("*/", i + 2);
        next_close = at == std::string_view::npos ? n : at;
      }
      if (i + 2 < n && s[i + 2] == '!') {
        // MySQL runs what a versioned comment holds, and an opener left
        // unclosed runs to the end ("/*!0UNION/*!0SELECT 1").
        blank(i);
        versioned_close = next_close;
        i += 3;
        while (i < n && s[i] >= '0' && s[i] <= '9') ++i;
        continue;
      }
      if (next_close < n) {
        blank(i);
        i = next_close + 2;
        continue;
      }
    } else if (c == '*' && i == versioned_close) {
      blank(i);
      versioned_close = n;
      i += 2;
      continue;
    } else if (c == '#' || (c == '-' && i + 1 < n && s[i + 1] == '-')) {
      if (next_line <= i) {
        const std::size_t at = text.find('\n', i);
        next_line = at == std::string_view::npos ? n : at;
      }
      if (next_line < n) {
        blank(i);
        i = next_line + 1;
        continue;
      }
    }
    if (IsParen(c) && last(i) == ' ') {
      // The blank before a parenthesis goes too.
      if (copying) {
        --w;
      } else {
        copy_up_to(i - 1);
      }
    }
    if (copying) put(static_cast<char>(c));
    ++i;
  }
  if (copying) out->resize(static_cast<std::size_t>(w - start));
  return copying;
}

Pattern Pattern::Compile(const std::string& text, bool use_jit, MatchLimits limits,
                         bool fold_subject) {
  Pattern p;
  p.fold_subject_ = fold_subject;
  const char* err = nullptr;
  int offset = 0;
  // The text is handed over NUL-terminated: an embedded NUL ends the pattern.
  pcre* code = pcre_compile(text.c_str(), kCompileOptions, &err, &offset, nullptr);
  if (code == nullptr) {
    p.error_ = std::string(err != nullptr ? err : "pcre_compile failed") + " at offset " +
               std::to_string(offset);
    return p;
  }
  p.code_ = code;
  int study_options = 0;
#ifdef PCRE_STUDY_JIT_COMPILE
  if (use_jit) study_options |= PCRE_STUDY_JIT_COMPILE;
#else
  (void)use_jit;
#endif
  const char* study_err = nullptr;
  pcre_extra* extra = pcre_study(code, study_options, &study_err);
  if (extra == nullptr) {
    extra = static_cast<pcre_extra*>(pcre_malloc(sizeof(pcre_extra)));
    if (extra == nullptr) {
      p.Reset();
      p.error_ = "out of memory";
      return p;
    }
    *extra = pcre_extra{};
  }
  extra->flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  extra->match_limit = limits.match_limit;
  extra->match_limit_recursion = limits.recursion_limit;
  p.extra_ = extra;
#ifdef PCRE_STUDY_JIT_COMPILE
  int jit = 0;
  if (use_jit && pcre_fullinfo(code, extra, PCRE_INFO_JIT, &jit) == 0 && jit == 1) {
    p.jit_ = true;
  }
#endif
  return p;
}

Pattern Pattern::CompileBuiltin(int number, bool use_jit, MatchLimits limits) {
  // Texts 1 and 2 are compiled in their fast form, which matches what they
  // match. The spare text predates the folding and reads comments itself.
  Pattern p = Compile(BuiltinFastPatternText(number), use_jit, limits,
                      /*fold_subject=*/number != 3);
  // Most values hold nothing texts 1 and 2 could start from: they are passed
  // without starting PCRE.
  if (number != 3) p.gate_ = &MayMatchInjectionTexts;
  return p;
}

Pattern::~Pattern() { Reset(); }

Pattern::Pattern(Pattern&& other) noexcept
    : code_(std::exchange(other.code_, nullptr)),
      extra_(std::exchange(other.extra_, nullptr)),
      jit_(other.jit_),
      fold_subject_(other.fold_subject_),
      gate_(other.gate_),
      error_(std::move(other.error_)) {}

Pattern& Pattern::operator=(Pattern&& other) noexcept {
  if (this != &other) {
    Reset();
    code_ = std::exchange(other.code_, nullptr);
    extra_ = std::exchange(other.extra_, nullptr);
    jit_ = other.jit_;
    fold_subject_ = other.fold_subject_;
    gate_ = other.gate_;
    error_ = std::move(other.error_);
  }
  return *this;
}

void Pattern::Reset() {
  if (extra_ != nullptr) pcre_free_study(static_cast<pcre_extra*>(extra_));
  if (code_ != nullptr) pcre_free(code_);
  extra_ = nullptr;
  code_ = nullptr;
  jit_ = false;
}

MatchResult Pattern::Match(std::string_view subject) const {
  if (code_ == nullptr) return MatchResult::kNoMatch;
  // pcre_exec takes an int length; a subject larger than that cannot come
  // from a web server and is treated as over the bounds.
  if (subject.size() > 0x7FFFFFFF) return MatchResult::kLimitExceeded;
  std::string folded;
  if (fold_subject_ && FoldSubject(subject, &folded)) subject = folded;
  if (gate_ != nullptr && !gate_(subject)) return MatchResult::kNoMatch;
  const int rc = platform::JitExec(JitStacks(), static_cast<const pcre*>(code_),
                                   static_cast<const pcre_extra*>(extra_), subject.data(),
                                   static_cast<int>(subject.size()), 0, 0, nullptr, 0);
  if (rc >= 0) return MatchResult::kMatch;
  switch (rc) {
    case PCRE_ERROR_MATCHLIMIT:
    case PCRE_ERROR_RECURSIONLIMIT:
#ifdef PCRE_ERROR_JIT_STACKLIMIT
    case PCRE_ERROR_JIT_STACKLIMIT:
#endif
    case PCRE_ERROR_NOMEMORY:
      return MatchResult::kLimitExceeded;
    default:
      return MatchResult::kNoMatch;
  }
}

bool MatchPattern(const Pattern& pattern, std::string_view text) {
  return pattern.Match(text) != MatchResult::kNoMatch;
}

std::string BuiltinPatternText(int number) {
  return DescramblePattern(BuiltinPatternScrambled(number));
}

std::string BuiltinFastPatternText(int number) {
  return Descramble(BuiltinFastPatternScrambled(number));
}

CompiledPatterns CompilePatterns(const FilterSettings& settings, bool use_jit) {
  // A custom text that is a built-in text word for word (copied from what
  // --show-patterns or a review file prints) means what that text means: it
  // is written for the folded subject, so it is compiled as the built-in one.
  auto compile = [use_jit](const std::string& custom, int builtin) {
    if (custom.empty()) return Pattern::CompileBuiltin(builtin, use_jit);
    for (int n = 1; n <= 2; ++n) {
      if (custom == BuiltinPatternText(n)) return Pattern::CompileBuiltin(n, use_jit);
    }
    return Pattern::Compile(custom, use_jit);
  };
  CompiledPatterns p;
  p.get = compile(settings.SqlGetValue, 1);
  p.post = compile(settings.SqlPostValue, 2);
  p.cookie = compile(settings.SqlCookieValue, 2);
  p.spare = Pattern::CompileBuiltin(3, use_jit);
  return p;
}

}  // namespace zelk::filter
