#include "filter/pattern_gate.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

#include "filter/byte_blocks.h"

namespace zelk::filter {
namespace {

// How each way into texts 1 and 2 is seen here (the texts' parts in the
// order they are written):
// - after '=' or '&': a quote closed (a quote byte); or a number (1, 1.5,
//   1e0) followed by
//   and/or/xor/not, && or || (the words or the pairs), a statement (drop,
//   create ... copy, backup, shutdown, call, procedure, limit: a statement word
//   after a number at a value's start; declare @ and set @: '@'; sleep(: a
//   call), a comparison word (like ... is, div, mod: a comparison word after
//   such a number), an operator and select, or ';' and the end or a
//   comment; "-1 or 1" and "-1||1"; or, at a value's start (past blanks,
//   brackets and '-'), the same words,
//   a call or select, or "from x where" (from);
// - at a blank or punctuation byte before a word: a call, and/or/xor/not,
//   && or ||, union, xp_cmd, utl_, information_schema (also written
//   straight after "from"), into, exec, waitfor;
// - at punctuation: ';' and a statement (a statement word after ';'), '{',
//   "@@", "( case" or "( select" (select), ") as", ")::", "::int" or ")||"
//   (the pairs), a quote, "=(" (a call), or "0x".
// A call is a name the texts know (or any name holding '_') followed by an
// optional blank and '('. Every word above is entered after a byte that is
// not a letter (a digit, a blank, punctuation, the start of a value) or
// after the 'e' of a number ("1e0or"); "rlike", "ilike" and "xor" are listed
// whole for that reason.
enum class Context {
  kAnywhere,      // wherever it starts
  kAfterNumber,   // after "=N", "&N" or "=-N" (N as 1, 1.5, 1e0), then blanks or ')'
  kAtValueStart,  // after '=' or '&', then blanks or '('
  kStartsClause,  // as kAfterNumber, or after ';' and blanks or '('
};

struct Word {
  std::string_view text;
  bool whole;  // must not run on into a letter or '_' (the texts put \b there)
  Context context;
};

constexpr Word kWords[] = {
    {"and", true, Context::kAnywhere},
    {"or", true, Context::kAnywhere},
    {"xor", true, Context::kAnywhere},
    {"not", true, Context::kAnywhere},
    {"into", true, Context::kAnywhere},
    {"select", false, Context::kAnywhere},
    {"union", false, Context::kAnywhere},
    {"having", false, Context::kAnywhere},
    {"exec", false, Context::kAnywhere},
    {"waitfor", false, Context::kAnywhere},
    {"xp_cmd", false, Context::kAnywhere},
    {"utl_", false, Context::kAnywhere},
    {"order by", false, Context::kAnywhere},
    {"group by", false, Context::kAnywhere},
    {"information_schema", false, Context::kAnywhere},
    {"frominformation_schema", false, Context::kAnywhere},
    {"from ", false, Context::kAtValueStart},
    // comparisons
    {"div", true, Context::kAfterNumber},
    {"mod", true, Context::kAfterNumber},
    {"is", true, Context::kAfterNumber},
    {"like", false, Context::kAfterNumber},
    {"rlike", false, Context::kAfterNumber},
    {"ilike", false, Context::kAfterNumber},
    {"regexp", false, Context::kAfterNumber},
    {"sounds", false, Context::kAfterNumber},
    {"between", false, Context::kAfterNumber},
    {"glob", false, Context::kAfterNumber},
    {"match", false, Context::kAfterNumber},
    {"similar", false, Context::kAfterNumber},
    // statements
    {"drop", false, Context::kStartsClause},
    {"create", false, Context::kStartsClause},
    {"alter", false, Context::kStartsClause},
    {"truncate", false, Context::kStartsClause},
    {"insert", false, Context::kStartsClause},
    {"update", false, Context::kStartsClause},
    {"delete", false, Context::kStartsClause},
    {"replace", false, Context::kStartsClause},
    {"copy", false, Context::kStartsClause},
    {"backup", false, Context::kStartsClause},
    {"shutdown", false, Context::kStartsClause},
    {"procedure", false, Context::kStartsClause},
    {"limit", false, Context::kStartsClause},
    {"call", false, Context::kStartsClause},
};

// For each pair of letters, the entries of a list that start with it (-1
// ends a list): most words of ordinary text start no keyword's first two
// letters and are passed after one look-up.
constexpr std::size_t kMaxWordsPerPair = 3;
using WordIndex = std::array<std::array<signed char, kMaxWordsPerPair + 1>, 26 * 26>;
constexpr std::size_t PairSlot(unsigned char first, unsigned char second) {
  return (first - 'a') * 26 + (second - 'a');
}
template <typename Entry, std::size_t N>
constexpr WordIndex MakeWordIndex(const Entry (&entries)[N]) {
  WordIndex index{};
  for (auto& list : index) {
    for (auto& entry : list) entry = -1;
  }
  for (std::size_t w = 0; w < N; ++w) {
    auto& list = index[PairSlot(entries[w].text[0], entries[w].text[1])];
    std::size_t k = 0;
    while (list[k] >= 0) ++k;
    list[k] = static_cast<signed char>(w);
  }
  return index;
}
constexpr WordIndex kWordIndex = MakeWordIndex(kWords);

// Names the texts read as a call when '(' follows; a prefix stands for every
// name that starts with it. Any name holding '_' is a call too.
struct CallName {
  std::string_view text;
  bool prefix;
};
constexpr CallName kCallNames[] = {
    {"ascii", false},     {"ord", false},     {"hex", false},   {"user", false},
    {"mid", false},       {"left", false},    {"right", false}, {"cast", false},
    {"convert", false},   {"iif", false},     {"if", false},    {"elt", false},
    {"sleep", false},     {"char", false},    {"chr", false},   {"nchar", false},
    {"benchmark", false}, {"version", false}, {"len", true},    {"substr", true},
    {"concat", true},     {"unicode", false}, {"datalen", true}};
constexpr WordIndex kCallIndex = MakeWordIndex(kCallNames);

enum ByteKind : unsigned char { kPlain, kTrigger, kLetter, kSpecial };

constexpr std::array<unsigned char, 256> MakeKinds() {
  std::array<unsigned char, 256> kinds{};
  for (int c = 'a'; c <= 'z'; ++c) kinds[c] = kinds[c - 32] = kLetter;
  for (unsigned char c : {'\'', '"', '`', '{', '@'}) kinds[c] = kTrigger;
  for (unsigned char c : {';', ':', '&', '|', '0', '(', ')'}) kinds[c] = kSpecial;
  return kinds;
}
constexpr std::array<unsigned char, 256> kKinds = MakeKinds();

// What the byte after a special byte must be for SpecialTriggers to have
// anything to look at: a bit for each kind of next byte, and for each special
// byte the kinds it needs. Long runs of '&', ';' or ':' that trigger nothing
// are passed without the switch below.
enum NextKind : unsigned char {
  kNextEndsStatement = 1,  // blank, '-', '#' or the end (';')
  kNextColon = 2,
  kNextAmpersand = 4,
  kNextBar = 8,
  kNextX = 16,
  kNextAnything = 128,  // every byte: '(' and ')' look further
};
constexpr std::array<unsigned char, 256> MakeNextKinds() {
  std::array<unsigned char, 256> kinds{};
  for (auto& kind : kinds) kind = kNextAnything;
  for (unsigned char c : {'\0', ' ', '-', '#'}) kinds[c] |= kNextEndsStatement;
  kinds[':'] |= kNextColon;
  kinds['&'] |= kNextAmpersand;
  kinds['|'] |= kNextBar;
  kinds['x'] |= kNextX;
  kinds['X'] |= kNextX;
  return kinds;
}
constexpr std::array<unsigned char, 256> kNextKinds = MakeNextKinds();
constexpr std::array<unsigned char, 256> MakeNeededNext() {
  std::array<unsigned char, 256> needed{};
  needed[';'] = kNextEndsStatement;
  needed[':'] = kNextColon;
  needed['&'] = kNextAmpersand;
  needed['|'] = kNextBar;
  needed['0'] = kNextX;
  needed['('] = needed[')'] = kNextAnything;
  return needed;
}
constexpr std::array<unsigned char, 256> kNeededNext = MakeNeededNext();

constexpr std::array<unsigned char, 256> MakeLower() {
  std::array<unsigned char, 256> lower{};
  for (int c = 0; c < 256; ++c)
    lower[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return lower;
}
constexpr std::array<unsigned char, 256> kLower = MakeLower();

constexpr unsigned char Lower(unsigned char c) { return kLower[c]; }
constexpr bool IsLetter(unsigned char c) { return kKinds[c] == kLetter; }
constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool IsParen(unsigned char c) { return c == '(' || c == ')'; }
constexpr bool IsWordByte(unsigned char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
// A byte of a number the texts read at a value's start: a digit, then digits,
// '.' and 'e' ("1", "1.0", "1e0").
constexpr bool IsNumberByte(unsigned char c) { return IsDigit(c) || c == '.' || Lower(c) == 'e'; }

class Subject {
 public:
  explicit Subject(std::string_view s)
      : s_(reinterpret_cast<const unsigned char*>(s.data())), n_(s.size()) {}

  bool MayMatch() const {
    for (std::size_t i = 0; i < n_;) {
      switch (kKinds[s_[i]]) {
        case kTrigger:
          return true;
        case kSpecial:
          if ((kNeededNext[s_[i]] & kNextKinds[At(i + 1)]) != 0 && SpecialTriggers(i)) return true;
          ++i;
          break;
        case kLetter:
          if (KeywordAt(i)) return true;
          // In a number such as "1e0" or "1.5e3" an 'e' ends the number and
          // a keyword may follow it straight on ("=1eor 1=1").
          if (Lower(s_[i]) == 'e' && i > 0 && IsNumberByte(s_[i - 1])) {
            ++i;
            break;
          }
          // The rest of the word starts no keyword.
          ++i;
          i += blocks::LetterRun(s_ + i, n_ - i);
          while (i < n_ && IsLetter(s_[i])) ++i;
          break;
        default:
          ++i;
          while (i < n_ && kKinds[s_[i]] == kPlain) ++i;
          break;
      }
    }
    return false;
  }

 private:
  unsigned char At(std::size_t i) const { return i < n_ ? s_[i] : 0; }

  bool TextAt(std::size_t at, std::string_view text) const {
    if (n_ - at < text.size()) return false;
    for (std::size_t k = 0; k < text.size(); ++k) {
      if (Lower(s_[at + k]) != static_cast<unsigned char>(text[k])) return false;
    }
    return true;
  }

  bool SpecialTriggers(std::size_t i) const {
    const unsigned char next = At(i + 1);
    switch (s_[i]) {
      case ';': {
        std::size_t j = i + 1;
        if (At(j) == ' ') ++j;
        return j == n_ || s_[j] == '-' || s_[j] == '#';
      }
      case ':':
        return next == ':';
      case '&':
        return next == '&';
      case '|':
        return next == '|';
      case '0':
        return next == 'x' || next == 'X';
      case '(':
        return OpensCall(i);
      case ')': {  // ") as x from"
        const std::size_t j = i + 1 + (next == ' ');
        return TextAt(j, "as ");
      }
      default:
        return false;
    }
  }

  // '(' after a call name (and an optional blank), after '=', or before
  // "case".
  bool OpensCall(std::size_t i) const {
    const std::size_t after = i + 1 + (At(i + 1) == ' ');
    if (TextAt(after, "case")) return true;
    std::size_t end = i;
    if (end > 0 && s_[end - 1] == ' ') --end;
    if (end > 0 && s_[end - 1] == '=') return true;
    std::size_t start = end;
    while (start > 0 && IsWordByte(s_[start - 1])) --start;
    if (start == end) return false;
    bool underscore = false;
    for (std::size_t k = start; k < end; ++k) underscore = underscore || s_[k] == '_';
    if (underscore) return true;
    // "=1sleep(", "=1e0sleep(": a statement follows a number with no blank
    // between.
    if (IsDigit(s_[start])) {
      while (start < end && IsNumberByte(s_[start])) ++start;
    }
    const std::size_t length = end - start;
    if (length < 2 || !IsLetter(s_[start]) || !IsLetter(s_[start + 1])) return false;
    for (const signed char* k = kCallIndex[PairSlot(Lower(s_[start]), Lower(s_[start + 1]))].data();
         *k >= 0; ++k) {
      const CallName& name = kCallNames[*k];
      if ((name.prefix ? length >= name.text.size() : length == name.text.size()) &&
          TextAt(start, name.text)) {
        return true;
      }
    }
    return false;
  }

  // Before `at`: blanks or ')', a number (a digit, then digits, '.' and 'e'),
  // an optional '-', then '=' or '&'.
  bool AfterNumber(std::size_t at) const {
    std::size_t j = at;
    while (j > 0 && (s_[j - 1] == ' ' || s_[j - 1] == ')')) --j;
    const std::size_t number_end = j;
    while (j > 0 && IsNumberByte(s_[j - 1])) --j;
    if (j == number_end || !IsDigit(s_[j])) return false;
    if (j > 0 && s_[j - 1] == '-') --j;
    return j > 0 && (s_[j - 1] == '=' || s_[j - 1] == '&');
  }

  // Before `at`: blanks, brackets or '-' (a value may open by closing a
  // bracket, "=) and", or with a minus, "=-(select"), then '=' or '&'.
  bool AtValueStart(std::size_t at) const {
    while (at > 0 && (s_[at - 1] == ' ' || IsParen(s_[at - 1]) || s_[at - 1] == '-')) --at;
    return at > 0 && (s_[at - 1] == '=' || s_[at - 1] == '&');
  }

  // Before `at`: blanks, 0xA0 bytes or '(', then ';'.
  bool AfterSemicolon(std::size_t at) const {
    while (at > 0 && (s_[at - 1] == ' ' || s_[at - 1] == '(' || s_[at - 1] == 0xA0)) --at;
    return at > 0 && s_[at - 1] == ';';
  }

  bool KeywordAt(std::size_t at) const {
    const unsigned char second = Lower(At(at + 1));
    if (second < 'a' || second > 'z') return false;  // every keyword starts with two letters
    for (const signed char* k = kWordIndex[PairSlot(Lower(s_[at]), second)].data(); *k >= 0; ++k) {
      const Word& w = kWords[*k];
      if (!TextAt(at, w.text)) continue;
      const std::size_t end = at + w.text.size();
      if (w.whole && end < n_ && (IsLetter(s_[end]) || s_[end] == '_')) continue;
      switch (w.context) {
        case Context::kAnywhere:
          return true;
        case Context::kAfterNumber:
          if (AfterNumber(at)) return true;
          break;
        case Context::kAtValueStart:
          if (AtValueStart(at)) return true;
          break;
        case Context::kStartsClause:
          if (AfterNumber(at) || AfterSemicolon(at)) return true;
          break;
      }
    }
    return false;
  }

  const unsigned char* s_;
  std::size_t n_;
};

}  // namespace

bool MayMatchInjectionTexts(std::string_view folded) { return Subject(folded).MayMatch(); }

}  // namespace zelk::filter
