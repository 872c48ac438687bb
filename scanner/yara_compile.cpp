// The compiler of the YARA-language subset (see yara_rules.h): a hand-written
// lexer and recursive-descent parser that builds the rule structures of
// yara_internal.h, turns hex strings into PCRE patterns, and picks the atom of
// each hex string and regular expression for the one-pass literal search.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "scanner/yara_internal.h"

namespace zelk::scanner {
namespace {

using detail::Expr;
using detail::Op;
using detail::Rule;
using detail::StringDef;
using detail::StringKind;

struct Failure {
  int line;
  std::string message;
};

[[noreturn]] void Fail(int line, std::string message) { throw Failure{line, std::move(message)}; }
[[noreturn]] void Unsupported(int line, const std::string& what) {
  Fail(line, "feature not supported: " + what);
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// Lexer

enum class Tok {
  kEnd,
  kIdent,
  kStringId,
  kCountId,
  kOffsetId,
  kLengthId,
  kInt,
  kText,
  kRegex,
  kHex,
  kPunct
};

struct Token {
  Tok type = Tok::kEnd;
  std::string text;   // identifier, punctuation, decoded text, regex or hex body
  std::string flags;  // regex flags
  std::int64_t value = 0;
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(std::string_view src) : src_(src) {}

  const Token& Peek() {
    if (!has_peek_) {
      peek_ = Lex();
      has_peek_ = true;
    }
    return peek_;
  }
  Token Next() {
    Peek();
    has_peek_ = false;
    prev_was_equals_ = peek_.type == Tok::kPunct && peek_.text == "=";
    return peek_;
  }
  int line() const { return line_; }

 private:
  void SkipSpace() {
    while (pos_ < src_.size()) {
      const char c = src_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
        while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
      } else if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '*') {
        const int start = line_;
        pos_ += 2;
        while (pos_ + 1 < src_.size() && !(src_[pos_] == '*' && src_[pos_ + 1] == '/')) {
          if (src_[pos_] == '\n') ++line_;
          ++pos_;
        }
        if (pos_ + 1 >= src_.size()) Fail(start, "syntax error: unterminated comment");
        pos_ += 2;
      } else {
        break;
      }
    }
  }

  Token Lex() {
    SkipSpace();
    Token t;
    t.line = line_;
    if (pos_ >= src_.size()) return t;
    const char c = src_[pos_];
    if (IsIdentStart(c)) {
      const std::size_t start = pos_;
      while (pos_ < src_.size() && IsIdentChar(src_[pos_])) ++pos_;
      t.type = Tok::kIdent;
      t.text = std::string(src_.substr(start, pos_ - start));
      return t;
    }
    if (c == '$' || c == '#' || c == '@' ||
        (c == '!' && pos_ + 1 < src_.size() && IsIdentStart(src_[pos_ + 1]))) {
      ++pos_;
      const std::size_t start = pos_;
      while (pos_ < src_.size() && IsIdentChar(src_[pos_])) ++pos_;
      if (c == '$' && pos_ < src_.size() && src_[pos_] == '*') ++pos_;
      t.text = std::string(src_.substr(start, pos_ - start));
      t.type = c == '$'   ? Tok::kStringId
               : c == '#' ? Tok::kCountId
               : c == '@' ? Tok::kOffsetId
                          : Tok::kLengthId;
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) return LexNumber(t);
    if (c == '"') return LexText(t);
    if (c == '/') return LexRegex(t);
    if (c == '{' && prev_was_equals_) return LexHex(t);
    static const char* const kTwo[] = {"..", "==", "!=", "<=", ">=", "<<", ">>"};
    for (const char* two : kTwo) {
      if (src_.substr(pos_, 2) == two) {
        pos_ += 2;
        t.type = Tok::kPunct;
        t.text = two;
        return t;
      }
    }
    if (std::string_view("{}()[]:=,<>+-*\\%&|^~.").find(c) != std::string_view::npos) {
      ++pos_;
      t.type = Tok::kPunct;
      t.text = std::string(1, c);
      return t;
    }
    Fail(line_, std::string("syntax error: unexpected character '") + c + "'");
  }

  Token LexNumber(Token t) {
    const std::size_t start = pos_;
    int base = 10;
    if (src_.substr(pos_, 2) == "0x" || src_.substr(pos_, 2) == "0X") {
      base = 16;
      pos_ += 2;
    } else if (src_.substr(pos_, 2) == "0o") {
      base = 8;
      pos_ += 2;
    }
    const std::size_t digits = pos_;
    while (pos_ < src_.size() && std::isalnum(static_cast<unsigned char>(src_[pos_]))) ++pos_;
    std::string body(src_.substr(digits, pos_ - digits));
    std::int64_t scale = 1;
    if (base == 10 && body.size() > 2) {
      const std::string suffix = body.substr(body.size() - 2);
      if (suffix == "KB" || suffix == "MB") {
        scale = suffix == "KB" ? 1024 : 1024 * 1024;
        body.resize(body.size() - 2);
      }
    }
    if (pos_ < src_.size() && src_[pos_] == '.' && pos_ + 1 < src_.size() &&
        std::isdigit(static_cast<unsigned char>(src_[pos_ + 1]))) {
      Unsupported(line_, "floating-point numbers");
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(body.c_str(), &end, base);
    if (body.empty() || *end != '\0' || errno != 0) {
      Fail(line_,
           "syntax error: bad number '" + std::string(src_.substr(start, pos_ - start)) + "'");
    }
    t.type = Tok::kInt;
    t.value = static_cast<std::int64_t>(v) * scale;
    return t;
  }

  Token LexText(Token t) {
    ++pos_;
    std::string out;
    while (true) {
      if (pos_ >= src_.size() || src_[pos_] == '\n')
        Fail(t.line, "syntax error: unterminated string");
      const char c = src_[pos_++];
      if (c == '"') break;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= src_.size()) Fail(t.line, "syntax error: unterminated string");
      const char e = src_[pos_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'x': {
          const int hi = pos_ < src_.size() ? HexValue(src_[pos_]) : -1;
          const int lo = pos_ + 1 < src_.size() ? HexValue(src_[pos_ + 1]) : -1;
          if (hi < 0 || lo < 0) Fail(t.line, "syntax error: bad \\x escape in string");
          out += static_cast<char>(hi * 16 + lo);
          pos_ += 2;
          break;
        }
        default:
          Fail(t.line, std::string("syntax error: unknown escape \\") + e + " in string");
      }
    }
    t.type = Tok::kText;
    t.text = std::move(out);
    return t;
  }

  Token LexRegex(Token t) {
    ++pos_;
    std::string body;
    while (true) {
      if (pos_ >= src_.size() || src_[pos_] == '\n') {
        Fail(t.line, "syntax error: unterminated regular expression");
      }
      const char c = src_[pos_++];
      if (c == '/') break;
      if (c == '\\' && pos_ < src_.size() && src_[pos_] == '/') {
        body += '/';
        ++pos_;
        continue;
      }
      body += c;
      if (c == '\\' && pos_ < src_.size()) body += src_[pos_++];
    }
    while (pos_ < src_.size() && (src_[pos_] == 'i' || src_[pos_] == 's')) t.flags += src_[pos_++];
    if (body.empty()) Fail(t.line, "syntax error: empty regular expression");
    t.type = Tok::kRegex;
    t.text = std::move(body);
    return t;
  }

  Token LexHex(Token t) {
    ++pos_;
    std::string body;
    while (true) {
      if (pos_ >= src_.size()) Fail(t.line, "syntax error: unterminated hex string");
      const char c = src_[pos_++];
      if (c == '}') break;
      if (c == '\n') ++line_;
      if (c == '/' && pos_ < src_.size() && src_[pos_] == '/') {
        while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
        continue;
      }
      if (c == '/' && pos_ < src_.size() && src_[pos_] == '*') {
        ++pos_;
        while (pos_ + 1 < src_.size() && !(src_[pos_] == '*' && src_[pos_ + 1] == '/')) {
          if (src_[pos_] == '\n') ++line_;
          ++pos_;
        }
        pos_ += 2;
        continue;
      }
      body += c;
    }
    t.type = Tok::kHex;
    t.text = std::move(body);
    return t;
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  int line_ = 1;
  Token peek_;
  bool has_peek_ = false;
  bool prev_was_equals_ = false;
};

// ---------------------------------------------------------------------------
// Hex strings and atoms

std::string ByteEscape(unsigned v) {
  static const char kDigits[] = "0123456789abcdef";
  return std::string("\\x") + kDigits[v >> 4] + kDigits[v & 15];
}

// Turns a hex string body into a PCRE pattern (compiled with DOTALL) and
// picks its longest run of fixed bytes outside alternatives as the atom.
class HexTranslator {
 public:
  HexTranslator(std::string_view body, int line) : s_(body), line_(line) {}

  std::string Translate(std::string* atom) {
    std::string out = Sequence(0);
    if (pos_ < s_.size())
      Fail(line_, "syntax error: unexpected '" + std::string(1, s_[pos_]) + "' in hex string");
    Cut();
    *atom = best_;
    if (tokens_ == 0) Fail(line_, "syntax error: empty hex string");
    return out;
  }

 private:
  void Skip() {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
  }
  void Cut() {
    if (run_.size() > best_.size()) best_ = run_;
    run_.clear();
  }

  std::string Sequence(int depth) {
    std::string out;
    while (true) {
      Skip();
      if (pos_ >= s_.size()) break;
      const char c = s_[pos_];
      if (c == ')' || c == '|') {
        if (depth == 0)
          Fail(line_, std::string("syntax error: unexpected '") + c + "' in hex string");
        break;
      }
      if (c == '~') Unsupported(line_, "negated bytes (~) in hex strings");
      if (c == '(') {
        ++pos_;
        Cut();
        out += "(?:";
        bool first = true;
        while (true) {
          if (!first) out += '|';
          first = false;
          std::string alt = Sequence(depth + 1);
          if (alt.empty()) Fail(line_, "syntax error: empty alternative in hex string");
          out += alt;
          Skip();
          if (pos_ < s_.size() && s_[pos_] == '|') {
            ++pos_;
            continue;
          }
          if (pos_ < s_.size() && s_[pos_] == ')') {
            ++pos_;
            break;
          }
          Fail(line_, "syntax error: unterminated alternative in hex string");
        }
        out += ')';
        Cut();
        ++tokens_;
        continue;
      }
      if (c == '[') {
        ++pos_;
        out += Jump();
        Cut();
        continue;
      }
      if (pos_ + 1 >= s_.size()) Fail(line_, "syntax error: odd number of hex digits");
      const char a = s_[pos_], b = s_[pos_ + 1];
      pos_ += 2;
      const int hi = HexValue(a), lo = HexValue(b);
      ++tokens_;
      if (hi >= 0 && lo >= 0) {
        out += ByteEscape(static_cast<unsigned>(hi * 16 + lo));
        if (depth == 0) run_ += Lower(static_cast<char>(hi * 16 + lo));
        continue;
      }
      Cut();
      if (a == '?' && b == '?') {
        out += '.';
      } else if (a == '?' && lo >= 0) {
        out += '[';
        for (int h = 0; h < 16; ++h) out += ByteEscape(static_cast<unsigned>(h * 16 + lo));
        out += ']';
      } else if (hi >= 0 && b == '?') {
        out += "[" + ByteEscape(static_cast<unsigned>(hi * 16)) + "-" +
               ByteEscape(static_cast<unsigned>(hi * 16 + 15)) + "]";
      } else {
        Fail(line_, std::string("syntax error: bad hex byte '") + a + b + "'");
      }
    }
    return out;
  }

  std::string Jump() {
    auto number = [&](long* v) {
      Skip();
      const std::size_t start = pos_;
      while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      if (pos_ == start) return false;
      *v = std::strtol(std::string(s_.substr(start, pos_ - start)).c_str(), nullptr, 10);
      return true;
    };
    long lo = 0, hi = -1;
    const bool has_lo = number(&lo);
    Skip();
    bool range = false;
    if (pos_ < s_.size() && s_[pos_] == '-') {
      range = true;
      ++pos_;
      if (!number(&hi)) hi = -1;
    } else if (!has_lo) {
      Fail(line_, "syntax error: bad jump in hex string");
    } else {
      hi = lo;
    }
    Skip();
    if (pos_ >= s_.size() || s_[pos_] != ']') Fail(line_, "syntax error: bad jump in hex string");
    ++pos_;
    if (range && hi >= 0 && hi < lo) Fail(line_, "syntax error: bad jump range in hex string");
    if (!range) return ".{" + std::to_string(lo) + "}";
    if (hi < 0) return ".{" + std::to_string(lo) + ",}";
    return ".{" + std::to_string(lo) + "," + std::to_string(hi) + "}";
  }

  std::string_view s_;
  int line_;
  std::size_t pos_ = 0;
  std::string run_, best_;
  int tokens_ = 0;
};

// Skips a group or class starting at s[i] ('(' or '['); returns the index
// after its end, or npos.
std::size_t SkipBracket(std::string_view s, std::size_t i) {
  if (s[i] == '[') {
    ++i;
    if (i < s.size() && s[i] == '^') ++i;
    if (i < s.size() && s[i] == ']') ++i;
    while (i < s.size() && s[i] != ']') {
      if (s[i] == '\\') ++i;
      ++i;
    }
    return i < s.size() ? i + 1 : std::string_view::npos;
  }
  int depth = 0;
  for (; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '[') {
      i = SkipBracket(s, i);
      if (i == std::string_view::npos) return i;
      --i;
    } else if (s[i] == '(') {
      ++depth;
    } else if (s[i] == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// The longest run of literal bytes every match of the regular expression
// holds, lower-cased; empty when none can be told for sure (alternation at
// the top level, say).
std::string RegexAtom(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '(' || s[i] == '[') {
      i = SkipBracket(s, i);
      if (i == std::string_view::npos) return "";
      --i;
    } else if (s[i] == '|') {
      return "";
    }
  }
  std::string run, best;
  auto cut = [&] {
    if (run.size() > best.size()) best = run;
    run.clear();
  };
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    std::string lit;  // the literal byte of this item, if it is one
    std::size_t next = i + 1;
    if (c == '(' || c == '[') {
      next = SkipBracket(s, i);
      if (next == std::string_view::npos) return "";
    } else if (c == '\\' && i + 1 < s.size()) {
      const char e = s[i + 1];
      next = i + 2;
      if (e == 'x' && i + 3 < s.size() && HexValue(s[i + 2]) >= 0 && HexValue(s[i + 3]) >= 0) {
        lit = std::string(1, static_cast<char>(HexValue(s[i + 2]) * 16 + HexValue(s[i + 3])));
        next = i + 4;
      } else if (e == 'n') {
        lit = "\n";
      } else if (e == 'r') {
        lit = "\r";
      } else if (e == 't') {
        lit = "\t";
      } else if (!std::isalnum(static_cast<unsigned char>(e))) {
        lit = std::string(1, e);
      }
    } else if (c == '.' || c == '^' || c == '$') {
    } else if (c == '*' || c == '+' || c == '?' || c == '{') {
      // A quantifier on something that was not a literal (handled below).
    } else {
      lit = std::string(1, c);
    }
    // A quantifier after the item.
    char q = next < s.size() ? s[next] : '\0';
    bool optional = false, repeated = false;
    if (q == '*' || q == '?') {
      optional = true;
      ++next;
    } else if (q == '+') {
      repeated = true;
      ++next;
    } else if (q == '{') {
      const std::size_t close = s.find('}', next);
      if (close != std::string_view::npos) {
        const std::string_view inner = s.substr(next + 1, close - next - 1);
        optional = inner.empty() || inner[0] == '0' || inner[0] == ',';
        repeated = true;
        next = close + 1;
      }
    }
    if (next < s.size() && (s[next] == '?' || s[next] == '+') && (optional || repeated)) ++next;
    if (lit.empty() || optional) {
      cut();
    } else {
      run += Lower(lit[0]);
      if (repeated) cut();
    }
    i = next;
  }
  cut();
  return best;
}

// The parts of s between its top-level '|'s (s itself when it has none).
std::vector<std::string_view> TopLevelAlternatives(std::string_view s) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '(' || s[i] == '[') {
      i = SkipBracket(s, i);
      if (i == std::string_view::npos) return {s};
      --i;
    } else if (s[i] == '|') {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  parts.push_back(s.substr(start));
  return parts;
}

std::vector<std::string> RegexAtoms(std::string_view s, int depth = 0);

// One atom set for an alternation: each alternative's own; none when one of
// them has none (a match through it would contain no atom).
std::vector<std::string> AtomsOfAlternatives(const std::vector<std::string_view>& alternatives,
                                             int depth) {
  std::vector<std::string> atoms;
  for (std::string_view alternative : alternatives) {
    const std::vector<std::string> own = RegexAtoms(alternative, depth + 1);
    if (own.empty()) return {};
    atoms.insert(atoms.end(), own.begin(), own.end());
  }
  std::sort(atoms.begin(), atoms.end());
  atoms.erase(std::unique(atoms.begin(), atoms.end()), atoms.end());
  return atoms;
}

std::size_t ShortestAtom(const std::vector<std::string>& atoms) {
  std::size_t shortest = std::string::npos;
  for (const std::string& a : atoms) shortest = std::min(shortest, a.size());
  return shortest;
}

bool IsWordByte(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

// Whether every match of the regular expression begins with one of its
// atoms: it opens (after any "\\b") with the atom spelt in plain letters,
// or with a group whose alternatives are exactly the atoms in plain letters.
bool MatchStartsWithAtom(std::string_view s, const std::vector<std::string>& atoms) {
  if (atoms.empty() || TopLevelAlternatives(s).size() != 1) return false;
  while (s.substr(0, 2) == "\\b") s.remove_prefix(2);
  const auto plain = [](std::string_view word, std::string_view lower) {
    if (word.size() != lower.size() || word.empty()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (!IsWordByte(word[i]) || Lower(word[i]) != lower[i]) return false;
    }
    return true;
  };
  if (atoms.size() == 1 && s.size() >= atoms[0].size() &&
      plain(s.substr(0, atoms[0].size()), atoms[0])) {
    return true;
  }
  if (s.empty() || s[0] != '(') return false;
  const std::size_t close = SkipBracket(s, 0);
  if (close == std::string_view::npos) return false;
  const char q = close < s.size() ? s[close] : '\0';
  if (q == '?' || q == '*' || q == '{') return false;
  std::string_view inner = s.substr(1, close - 2);
  if (inner.substr(0, 2) == "?:") inner.remove_prefix(2);
  std::vector<std::string> words;
  for (std::string_view alternative : TopLevelAlternatives(inner)) {
    std::string lower;
    for (char c : alternative) lower += Lower(c);
    if (!plain(alternative, lower)) return false;
    words.push_back(std::move(lower));
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words == atoms;
}

// Literals one of which every match of the regular expression holds: its
// longest literal run, or, when that is shorter, the alternatives of a group
// every match passes through ("\b(system|exec|popen)\s*\(" gives the three
// words), or one atom of each alternative of a top-level alternation. Atoms
// shorter than two bytes tell too little and count as none.
std::vector<std::string> RegexAtoms(std::string_view s, int depth) {
  if (depth > 8) return {};
  const std::vector<std::string_view> top = TopLevelAlternatives(s);
  if (top.size() > 1) return AtomsOfAlternatives(top, depth);
  std::vector<std::string> best;
  if (std::string run = RegexAtom(s); run.size() >= 2) best.push_back(std::move(run));
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
      continue;
    }
    if (s[i] == '[') {
      i = SkipBracket(s, i);
      if (i == std::string_view::npos) break;
      --i;
      continue;
    }
    if (s[i] != '(') continue;
    const std::size_t close = SkipBracket(s, i);
    if (close == std::string_view::npos) break;
    std::string_view inner = s.substr(i + 1, close - i - 2);
    i = close - 1;
    // A group that may be skipped holds nothing every match has.
    const char q = close < s.size() ? s[close] : '\0';
    if (q == '?' || q == '*' ||
        (q == '{' && close + 1 < s.size() && (s[close + 1] == '0' || s[close + 1] == ','))) {
      continue;
    }
    if (inner.substr(0, 2) == "?:") {
      inner.remove_prefix(2);
    } else if (!inner.empty() && inner[0] == '?') {
      continue;  // a look-around or an option setting consumes nothing of its own
    }
    const std::vector<std::string_view> alternatives = TopLevelAlternatives(inner);
    if (alternatives.size() < 2) continue;
    std::vector<std::string> atoms = AtomsOfAlternatives(alternatives, depth);
    if (!atoms.empty() && ShortestAtom(atoms) >= 2 &&
        (best.empty() || ShortestAtom(atoms) > ShortestAtom(best))) {
      best = std::move(atoms);
    }
  }
  if (!best.empty() && ShortestAtom(best) < 2) return {};
  return best;
}

// libyara reads "{,n}" as "{0,n}"; PCRE would take it as literal text.
std::string ToPcre(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[i];
      out += s[++i];
      continue;
    }
    out += s[i];
    if (s[i] == '{' && i + 1 < s.size() && s[i + 1] == ',') out += '0';
  }
  return out;
}

// ---------------------------------------------------------------------------
// Parser

class Parser {
 public:
  Parser(std::string_view src, const std::string& file, int ns, RuleSet::Impl* set)
      : lex_(src), file_(file), ns_(ns), set_(set) {}

  void ParseFile() {
    while (lex_.Peek().type != Tok::kEnd) {
      const Token t = lex_.Next();
      if (t.type != Tok::kIdent) Fail(t.line, "syntax error: expected a rule");
      if (t.text == "import") Unsupported(t.line, "import (modules)");
      if (t.text == "include") Unsupported(t.line, "include");
      bool is_private = false, is_global = false;
      Token r = t;
      while (r.type == Tok::kIdent && (r.text == "private" || r.text == "global")) {
        (r.text == "private" ? is_private : is_global) = true;
        r = lex_.Next();
      }
      if (r.type != Tok::kIdent || r.text != "rule") Fail(r.line, "syntax error: expected 'rule'");
      ParseRule(is_private, is_global);
    }
  }

  std::vector<Rule> rules;
  std::vector<StringDef> strings;

 private:
  Token Expect(Tok type, const char* what) {
    Token t = lex_.Next();
    if (t.type != type) Fail(t.line, std::string("syntax error: expected ") + what);
    return t;
  }
  void ExpectPunct(const char* p) {
    Token t = lex_.Next();
    if (t.type != Tok::kPunct || t.text != p) {
      Fail(t.line, std::string("syntax error: expected '") + p + "'");
    }
  }
  bool PeekPunct(const char* p) {
    const Token& t = lex_.Peek();
    return t.type == Tok::kPunct && t.text == p;
  }
  bool PeekIdent(const char* word) {
    const Token& t = lex_.Peek();
    return t.type == Tok::kIdent && t.text == word;
  }

  void ParseRule(bool is_private, bool is_global) {
    const Token name = Expect(Tok::kIdent, "a rule name");
    static const std::set<std::string> kReserved = {
        "all",        "and",     "any",      "ascii",  "at",       "condition", "contains",
        "entrypoint", "false",   "filesize", "for",    "fullword", "global",    "import",
        "in",         "include", "int16",    "int32",  "int8",     "matches",   "meta",
        "nocase",     "not",     "of",       "or",     "private",  "rule",      "strings",
        "them",       "true",    "uint16",   "uint32", "uint8",    "wide"};
    if (kReserved.count(name.text))
      Fail(name.line, "syntax error: reserved word '" + name.text + "'");
    for (const Rule& r : rules) {
      if (r.name == name.text) Fail(name.line, "duplicated identifier \"" + name.text + "\"");
    }
    Rule rule;
    rule.name = name.text;
    rule.file = file_;
    rule.ns = ns_;
    rule.is_private = is_private;
    rule.is_global = is_global;
    if (PeekPunct(":")) {
      lex_.Next();
      while (lex_.Peek().type == Tok::kIdent) lex_.Next();
    }
    ExpectPunct("{");
    string_base_ = static_cast<int>(set_->strings.size() + strings.size());
    rule_strings_.clear();
    referenced_.clear();
    if (PeekIdent("meta")) {
      lex_.Next();
      ExpectPunct(":");
      while (lex_.Peek().type == Tok::kIdent && !PeekIdent("strings") && !PeekIdent("condition")) {
        const Token key = lex_.Next();
        ExpectPunct("=");
        Token v = lex_.Next();
        std::string value;
        if (v.type == Tok::kText || v.type == Tok::kIdent) {
          value = v.text;
        } else if (v.type == Tok::kInt) {
          value = std::to_string(v.value);
        } else if (v.type == Tok::kPunct && v.text == "-") {
          value = "-" + std::to_string(Expect(Tok::kInt, "a number").value);
        } else {
          Fail(v.line, "syntax error: bad meta value");
        }
        rule.meta.emplace_back(key.text, value);
      }
    }
    if (PeekIdent("strings")) {
      lex_.Next();
      ExpectPunct(":");
      while (lex_.Peek().type == Tok::kStringId) ParseString();
    }
    const Token cond = lex_.Next();
    if (cond.type != Tok::kIdent || cond.text != "condition") {
      Fail(cond.line, "syntax error: expected 'condition'");
    }
    ExpectPunct(":");
    rule.condition = ParseOr();
    const Token close = lex_.Next();
    if (close.type != Tok::kPunct || close.text != "}")
      Fail(close.line, "syntax error: expected '}'");
    for (std::size_t i = 0; i < rule_strings_.size(); ++i) {
      if (!referenced_[i] && !rule_strings_[i].id.empty()) {
        Fail(close.line, "unreferenced string \"$" + rule_strings_[i].id + "\"");
      }
    }
    for (StringDef& s : rule_strings_) strings.push_back(std::move(s));
    rules.push_back(std::move(rule));
  }

  void ParseString() {
    const Token id = lex_.Next();
    if (id.text.find('*') != std::string::npos)
      Fail(id.line, "syntax error: bad string identifier");
    for (const StringDef& s : rule_strings_) {
      if (!id.text.empty() && s.id == id.text) {
        Fail(id.line, "duplicated string identifier \"$" + id.text + "\"");
      }
    }
    ExpectPunct("=");
    const Token v = lex_.Next();
    StringDef s;
    s.id = id.text;
    if (v.type == Tok::kText) {
      s.kind = StringKind::kText;
      s.text = v.text;
      if (s.text.empty()) Fail(v.line, "empty string \"$" + id.text + "\"");
    } else if (v.type == Tok::kRegex) {
      s.kind = StringKind::kRegex;
      s.text = ToPcre(v.text);
    } else if (v.type == Tok::kHex) {
      s.kind = StringKind::kHex;
      std::string atom;
      s.text = HexTranslator(v.text, v.line).Translate(&atom);
      if (atom.size() >= 2) s.atoms.push_back(std::move(atom));
    } else {
      Fail(v.line, "syntax error: expected a text, hex or regular expression string");
    }
    // Modifiers.
    while (lex_.Peek().type == Tok::kIdent) {
      const std::string& m = lex_.Peek().text;
      const int line = lex_.Peek().line;
      if (m == "nocase" || m == "wide" || m == "ascii" || m == "fullword") {
        if (s.kind == StringKind::kHex)
          Fail(line, "invalid modifier \"" + m + "\" for a hex string");
      }
      if (m == "nocase") {
        s.nocase = true;
      } else if (m == "wide") {
        if (s.kind == StringKind::kRegex) Unsupported(line, "wide regular expressions");
        s.wide = true;
      } else if (m == "ascii") {
        s.ascii = true;
      } else if (m == "fullword") {
        s.fullword = true;
      } else if (m == "private") {
      } else if (m == "xor" || m == "base64" || m == "base64wide") {
        Unsupported(line, "string modifier " + m);
      } else {
        break;
      }
      lex_.Next();
    }
    if (!s.wide) s.ascii = true;
    bool caseless = s.nocase, dotall = s.kind == StringKind::kHex;
    if (s.kind == StringKind::kRegex) {
      for (char f : v.flags) (f == 'i' ? caseless : dotall) = true;
      s.nocase = caseless;
      s.atoms = RegexAtoms(s.text);
      s.starts_with_atom = MatchStartsWithAtom(s.text, s.atoms);
    }
    if (s.kind != StringKind::kText) {
      std::string error;
      s.regex = detail::Regex::Compile(s.text, caseless, dotall, set_->jit, &error);
      if (s.regex && s.starts_with_atom) {
        s.anchored = detail::Regex::Compile(s.text, caseless, dotall, set_->jit, &error, true);
      }
      if (!s.regex)
        Fail(v.line,
             "invalid " +
                 std::string(s.kind == StringKind::kHex ? "hex string" : "regular expression") +
                 " \"$" + id.text + "\": " + error);
    }
    rule_strings_.push_back(std::move(s));
    referenced_.push_back(false);
  }

  // --- conditions

  std::unique_ptr<Expr> Make(Op op) {
    auto e = std::make_unique<Expr>();
    e->op = op;
    return e;
  }
  std::unique_ptr<Expr> Binary(Op op, std::unique_ptr<Expr> a, std::unique_ptr<Expr> b) {
    auto e = Make(op);
    e->kids.push_back(std::move(a));
    e->kids.push_back(std::move(b));
    return e;
  }

  std::unique_ptr<Expr> ParseOr() {
    auto left = ParseAnd();
    while (PeekIdent("or")) {
      lex_.Next();
      left = Binary(Op::kOr, std::move(left), ParseAnd());
    }
    return left;
  }
  std::unique_ptr<Expr> ParseAnd() {
    auto left = ParseNot();
    while (PeekIdent("and")) {
      lex_.Next();
      left = Binary(Op::kAnd, std::move(left), ParseNot());
    }
    return left;
  }
  std::unique_ptr<Expr> ParseNot() {
    if (PeekIdent("not")) {
      lex_.Next();
      auto e = Make(Op::kNot);
      e->kids.push_back(ParseNot());
      return e;
    }
    if (PeekIdent("defined")) Unsupported(lex_.Peek().line, "defined");
    return ParseEquality();
  }
  std::unique_ptr<Expr> ParseEquality() {
    auto left = ParseRelational();
    while (true) {
      const Token& t = lex_.Peek();
      static const std::map<std::string, Op> kWords = {
          {"contains", Op::kContains},     {"icontains", Op::kIContains},
          {"startswith", Op::kStartsWith}, {"istartswith", Op::kIStartsWith},
          {"endswith", Op::kEndsWith},     {"iendswith", Op::kIEndsWith},
          {"iequals", Op::kIEquals}};
      Op op;
      if (t.type == Tok::kPunct && (t.text == "==" || t.text == "!=")) {
        op = t.text == "==" ? Op::kEq : Op::kNe;
      } else if (t.type == Tok::kIdent && kWords.count(t.text)) {
        op = kWords.at(t.text);
      } else if (t.type == Tok::kIdent && t.text == "matches") {
        lex_.Next();
        const Token re = lex_.Next();
        if (re.type != Tok::kRegex) Fail(re.line, "syntax error: expected a regular expression");
        auto e = Make(Op::kMatches);
        std::string error;
        bool caseless = false, dotall = false;
        for (char f : re.flags) (f == 'i' ? caseless : dotall) = true;
        e->regex = detail::Regex::Compile(ToPcre(re.text), caseless, dotall, set_->jit, &error);
        if (!e->regex) Fail(re.line, "invalid regular expression: " + error);
        e->kids.push_back(std::move(left));
        left = std::move(e);
        continue;
      } else {
        return left;
      }
      lex_.Next();
      left = Binary(op, std::move(left), ParseRelational());
    }
  }
  std::unique_ptr<Expr> ParseRelational() {
    auto left = ParseBitOr();
    while (true) {
      const Token& t = lex_.Peek();
      if (t.type != Tok::kPunct) return left;
      Op op;
      if (t.text == "<")
        op = Op::kLt;
      else if (t.text == "<=")
        op = Op::kLe;
      else if (t.text == ">")
        op = Op::kGt;
      else if (t.text == ">=")
        op = Op::kGe;
      else
        return left;
      lex_.Next();
      left = Binary(op, std::move(left), ParseBitOr());
    }
  }
  // One level of left-associative binary operators.
  template <typename Next>
  std::unique_ptr<Expr> Level(Next next, std::initializer_list<std::pair<const char*, Op>> ops) {
    auto left = (this->*next)();
    while (true) {
      const Token& t = lex_.Peek();
      bool found = false;
      Op op = Op::kAdd;
      if (t.type == Tok::kPunct) {
        for (const auto& [text, o] : ops) {
          if (t.text == text) {
            found = true;
            op = o;
          }
        }
      }
      if (!found) return left;
      const int line = lex_.Next().line;
      auto right = (this->*next)();
      if ((op == Op::kDiv || op == Op::kMod) && right->op == Op::kInt && right->value == 0) {
        Fail(line, "division by zero");
      }
      left = Binary(op, std::move(left), std::move(right));
    }
  }
  std::unique_ptr<Expr> ParseBitOr() { return Level(&Parser::ParseBitXor, {{"|", Op::kBitOr}}); }
  std::unique_ptr<Expr> ParseBitXor() { return Level(&Parser::ParseBitAnd, {{"^", Op::kBitXor}}); }
  std::unique_ptr<Expr> ParseBitAnd() { return Level(&Parser::ParseShift, {{"&", Op::kBitAnd}}); }
  std::unique_ptr<Expr> ParseShift() {
    return Level(&Parser::ParseAdditive, {{"<<", Op::kShl}, {">>", Op::kShr}});
  }
  std::unique_ptr<Expr> ParseAdditive() {
    return Level(&Parser::ParseMultiplicative, {{"+", Op::kAdd}, {"-", Op::kSub}});
  }
  std::unique_ptr<Expr> ParseMultiplicative() {
    return Level(&Parser::ParseUnary, {{"*", Op::kMul}, {"\\", Op::kDiv}, {"%", Op::kMod}});
  }
  std::unique_ptr<Expr> ParseUnary() {
    if (PeekPunct("-") || PeekPunct("~")) {
      const bool neg = lex_.Next().text == "-";
      auto e = Make(neg ? Op::kNeg : Op::kBitNot);
      e->kids.push_back(ParseUnary());
      return e;
    }
    auto e = ParsePrimary();
    if (PeekIdent("of")) {
      lex_.Next();
      auto of = Make(Op::kOfCount);
      of->kids.push_back(std::move(e));
      ParseSet(of.get());
      return of;
    }
    return e;
  }

  // The global index of this rule's string with the given id; marks it used.
  int StringIndex(const Token& t, bool needs_all = false) {
    for (std::size_t i = 0; i < rule_strings_.size(); ++i) {
      if (rule_strings_[i].id == t.text && !t.text.empty()) {
        referenced_[i] = true;
        if (needs_all) rule_strings_[i].needs_all = true;
        return string_base_ + static_cast<int>(i);
      }
    }
    if (t.text.empty()) Unsupported(t.line, "anonymous string references outside for loops");
    Fail(t.line, "undefined string identifier \"$" + t.text + "\"");
  }

  void ParseSet(Expr* of) {
    if (PeekIdent("them")) {
      const int line = lex_.Next().line;
      if (rule_strings_.empty()) Fail(line, "syntax error: no strings for 'them'");
      for (std::size_t i = 0; i < rule_strings_.size(); ++i) {
        referenced_[i] = true;
        of->set.push_back(string_base_ + static_cast<int>(i));
      }
      return;
    }
    ExpectPunct("(");
    while (true) {
      const Token t = lex_.Next();
      if (t.type == Tok::kIdent) Unsupported(t.line, "rule sets in 'of'");
      if (t.type != Tok::kStringId) Fail(t.line, "syntax error: expected a string identifier");
      if (!t.text.empty() && t.text.back() == '*') {
        const std::string prefix = t.text.substr(0, t.text.size() - 1);
        bool any = false;
        for (std::size_t i = 0; i < rule_strings_.size(); ++i) {
          if (rule_strings_[i].id.compare(0, prefix.size(), prefix) == 0) {
            referenced_[i] = true;
            of->set.push_back(string_base_ + static_cast<int>(i));
            any = true;
          }
        }
        if (!any) Fail(t.line, "undefined string identifier \"$" + t.text + "\"");
      } else {
        of->set.push_back(StringIndex(t));
      }
      const Token sep = lex_.Next();
      if (sep.type == Tok::kPunct && sep.text == ")") break;
      if (sep.type != Tok::kPunct || sep.text != ",")
        Fail(sep.line, "syntax error: expected ',' or ')'");
    }
  }

  // "(A..B)" after 'in'.
  void ParseRange(Expr* e) {
    ExpectPunct("(");
    e->kids.push_back(ParseBitOr());
    ExpectPunct("..");
    e->kids.push_back(ParseBitOr());
    ExpectPunct(")");
  }

  std::unique_ptr<Expr> ParsePrimary() {
    const Token t = lex_.Next();
    switch (t.type) {
      case Tok::kInt: {
        auto e = Make(Op::kInt);
        e->value = t.value;
        return e;
      }
      case Tok::kText: {
        auto e = Make(Op::kText);
        e->text = t.text;
        return e;
      }
      case Tok::kRegex:
        Fail(t.line, "syntax error: unexpected regular expression");
      case Tok::kStringId: {
        if (t.text.empty()) Unsupported(t.line, "anonymous string references outside for loops");
        auto e = Make(Op::kFound);
        e->index = StringIndex(t);
        if (PeekIdent("at")) {
          lex_.Next();
          rule_strings_[static_cast<std::size_t>(e->index - string_base_)].needs_all = true;
          e->op = Op::kFoundAt;
          e->kids.push_back(ParseUnary());
        } else if (PeekIdent("in")) {
          lex_.Next();
          rule_strings_[static_cast<std::size_t>(e->index - string_base_)].needs_all = true;
          e->op = Op::kFoundIn;
          ParseRange(e.get());
        }
        return e;
      }
      case Tok::kCountId: {
        auto e = Make(Op::kCount);
        e->index = StringIndex(t, true);
        if (PeekIdent("in")) {
          lex_.Next();
          e->op = Op::kCountIn;
          ParseRange(e.get());
        }
        return e;
      }
      case Tok::kOffsetId:
      case Tok::kLengthId: {
        auto e = Make(t.type == Tok::kOffsetId ? Op::kOffset : Op::kLength);
        e->index = StringIndex(t, true);
        if (PeekPunct("[")) {
          lex_.Next();
          e->kids.push_back(ParseBitOr());
          ExpectPunct("]");
        } else {
          auto one = Make(Op::kInt);
          one->value = 1;
          e->kids.push_back(std::move(one));
        }
        return e;
      }
      case Tok::kPunct:
        if (t.text == "(") {
          auto e = ParseOr();
          ExpectPunct(")");
          return e;
        }
        Fail(t.line, "syntax error: unexpected '" + t.text + "'");
      case Tok::kIdent:
        return ParseWord(t);
      default:
        Fail(t.line, "syntax error: unexpected end of file");
    }
  }

  std::unique_ptr<Expr> ParseWord(const Token& t) {
    if (t.text == "true") return Make(Op::kTrue);
    if (t.text == "false") return Make(Op::kFalse);
    if (t.text == "filesize") return Make(Op::kFilesize);
    if (t.text == "any" || t.text == "all") {
      auto of = Make(t.text == "any" ? Op::kOfAny : Op::kOfAll);
      if (!PeekIdent("of")) Fail(t.line, "syntax error: expected 'of'");
      lex_.Next();
      ParseSet(of.get());
      return of;
    }
    if (t.text == "none") Unsupported(t.line, "none of");
    if (t.text == "for") Unsupported(t.line, "for loops");
    if (t.text == "entrypoint") Unsupported(t.line, "entrypoint");
    for (const char* prefix : {"uint", "int"}) {
      const std::string p = prefix;
      if (t.text.compare(0, p.size(), p) != 0) continue;
      std::string rest = t.text.substr(p.size());
      bool be = false;
      if (rest.size() > 2 && rest.compare(rest.size() - 2, 2, "be") == 0) {
        be = true;
        rest.resize(rest.size() - 2);
      }
      if (rest == "8" || rest == "16" || rest == "32") {
        auto e = Make(Op::kReadInt);
        e->value = std::stoi(rest) / 8;
        e->is_signed = p == "int";
        e->big_endian = be;
        ExpectPunct("(");
        e->kids.push_back(ParseOr());
        ExpectPunct(")");
        return e;
      }
    }
    if (PeekPunct(".")) Unsupported(t.line, "modules (" + t.text + ".)");
    for (std::size_t i = 0; i < std::size(kExternalNames); ++i) {
      if (t.text == kExternalNames[i]) {
        auto e = Make(Op::kExternal);
        e->index = static_cast<int>(i);
        return e;
      }
    }
    for (std::size_t i = 0; i < rules.size(); ++i) {
      if (rules[i].name == t.text) {
        auto e = Make(Op::kRuleRef);
        e->index = static_cast<int>(set_->rules.size() + i);
        return e;
      }
    }
    Fail(t.line, "undefined identifier \"" + t.text + "\"");
  }

  Lexer lex_;
  const std::string& file_;
  int ns_;
  RuleSet::Impl* set_;
  int string_base_ = 0;
  std::vector<StringDef> rule_strings_;
  std::vector<bool> referenced_;
};

}  // namespace

std::string CompileError::Text() const {
  return file + ":" + std::to_string(line) + ": " + message;
}

std::string FileTypeOf(std::string_view head) {
  auto starts = [&](std::string_view magic) { return head.substr(0, magic.size()) == magic; };
  if (starts("GIF87a") || starts("GIF89a")) return "GIF";
  if (starts("\xff\xd8\xff")) return "JPEG";
  if (starts("\x89PNG\r\n\x1a\n")) return "PNG";
  if (starts("BM") && head.size() >= 14) return "BMP";
  if (starts("MZ")) return "EXE";
  if (starts("PK\x03\x04")) return "ZIP";
  if (starts("%PDF")) return "PDF";
  return "";
}

RuleSet::RuleSet() : impl_(std::make_unique<Impl>()) { impl_->index.Build(impl_->strings); }
RuleSet::~RuleSet() = default;
RuleSet::RuleSet(RuleSet&&) noexcept = default;
RuleSet& RuleSet::operator=(RuleSet&&) noexcept = default;

bool RuleSet::AddSource(const std::string& file_name, std::string_view text,
                        std::vector<CompileError>* errors) {
  Parser parser(text, file_name, impl_->namespaces, impl_.get());
  try {
    parser.ParseFile();
  } catch (const Failure& f) {
    if (errors != nullptr) errors->push_back({file_name, f.line, f.message});
    return false;
  }
  ++impl_->namespaces;
  for (Rule& r : parser.rules) impl_->rules.push_back(std::move(r));
  for (StringDef& s : parser.strings) impl_->strings.push_back(std::move(s));
  impl_->index.Build(impl_->strings);
  return true;
}

std::vector<RuleInfo> RuleSet::Rules() const {
  std::vector<RuleInfo> out;
  for (const Rule& r : impl_->rules) out.push_back({r.name, r.file, r.is_private, r.is_global});
  return out;
}

std::size_t RuleSet::rule_count() const { return impl_->rules.size(); }

void RuleSet::SetJit(bool on) { impl_->jit = on; }

}  // namespace zelk::scanner
