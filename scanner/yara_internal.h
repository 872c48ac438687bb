// The compiled form of YARA-language rules, shared by the compiler
// (yara_compile.cpp) and the matcher (yara_match.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scanner/yara_rules.h"

namespace zelk::scanner::detail {

// A compiled PCRE pattern with a match limit. Immutable; thread-safe to use.
class Regex {
 public:
  // Null with *error set when PCRE refuses the pattern. With jit, compiled
  // for PCRE's JIT where the library has one.
  // Anchored: every match starts where the search starts (MatchAt).
  static std::shared_ptr<Regex> Compile(const std::string& pattern, bool caseless, bool dotall,
                                        bool jit, std::string* error, bool anchored = false);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // The first match starting at or after `from`; false when there is none or
  // the match limit was reached.
  bool Find(std::string_view data, std::size_t from, std::size_t* start, std::size_t* end) const;
  // For an anchored expression: whether a match starts at `at`, and its end.
  bool MatchAt(std::string_view data, std::size_t at, std::size_t* end) const {
    std::size_t start = 0;
    return Find(data, at, &start, end);
  }

 private:
  Regex() = default;
  void* code_ = nullptr;
  void* extra_ = nullptr;
};

enum class StringKind { kText, kHex, kRegex };

struct StringDef {
  std::string id;  // without '$'; empty for an anonymous string
  StringKind kind = StringKind::kText;
  std::string text;  // kText: the bytes; otherwise the PCRE pattern
  bool nocase = false;
  bool ascii = false;
  bool wide = false;
  bool fullword = false;
  // Lower-case literals one of which every match contains; empty: none known,
  // the expression runs on every file.
  std::vector<std::string> atoms;
  // Every match begins with one of the atoms, so the search can start at
  // the first place one of them was seen.
  bool starts_with_atom = false;
  std::shared_ptr<Regex> anchored;  // with starts_with_atom: the expression tried at each atom
  // The condition asks for its count, offsets or lengths; otherwise only
  // whether it occurs, and a regular expression stops at its first match.
  bool needs_all = false;
  std::shared_ptr<Regex> regex;
};

enum class Op {
  kTrue,
  kFalse,
  kInt,
  kText,
  kFilesize,
  kExternal,
  kRuleRef,
  kAnd,
  kOr,
  kNot,
  kEq,
  kNe,
  kLt,
  kLe,
  kGt,
  kGe,
  kAdd,
  kSub,
  kMul,
  kDiv,
  kMod,
  kBitAnd,
  kBitOr,
  kBitXor,
  kShl,
  kShr,
  kBitNot,
  kNeg,
  kContains,
  kIContains,
  kStartsWith,
  kIStartsWith,
  kEndsWith,
  kIEndsWith,
  kIEquals,
  kMatches,
  kFound,    // $a
  kFoundAt,  // $a at kids[0]
  kFoundIn,  // $a in (kids[0]..kids[1])
  kCount,    // #a
  kCountIn,  // #a in (kids[0]..kids[1])
  kOffset,   // @a[kids[0]]
  kLength,   // !a[kids[0]]
  kReadInt,  // uint32(kids[0]) etc.
  kOfAny,    // any of set
  kOfAll,    // all of set
  kOfCount,  // kids[0] of set
};

struct Expr {
  Op op = Op::kFalse;
  std::int64_t value = 0;  // kInt; kReadInt: byte count
  std::string text;        // kText
  int index = -1;          // string (global index), rule or external
  bool is_signed = false;  // kReadInt
  bool big_endian = false;
  std::vector<int> set;  // kOf*: global string indices
  std::shared_ptr<Regex> regex;
  std::vector<std::unique_ptr<Expr>> kids;
};

struct Rule {
  std::string name;
  std::string file;
  int ns = 0;
  bool is_private = false;
  bool is_global = false;
  std::vector<std::pair<std::string, std::string>> meta;
  std::unique_ptr<Expr> condition;
};

// One occurrence of a string.
struct Hit {
  std::uint32_t offset;
  std::uint32_t length;
};

// A text string's bytes (or an atom) as the one-pass literal search looks
// for it: `lower` in the lower-cased data, then `exact` in the data itself
// when the string is case-sensitive.
struct Literal {
  std::string lower;
  std::string exact;
  int string_index = 0;
  bool case_sensitive = false;
  bool wide = false;
  bool fullword = false;
  bool is_atom = false;  // found: run the string's regular expression
};

// Literals by their first two lower-case bytes (a bit set and buckets), and
// one-byte literals by their byte.
struct LiteralIndex {
  std::vector<Literal> literals;
  std::vector<std::uint64_t> pair_bits;     // 65536 bits
  std::vector<std::uint32_t> bucket_start;  // 65537 entries into bucket_items
  std::vector<std::uint32_t> bucket_items;  // literal indices
  std::vector<std::uint32_t> single[256];
  bool any_single = false;
  std::vector<int> always_run;  // hex strings and regexes without an atom
  void Build(const std::vector<StringDef>& strings);
};

}  // namespace zelk::scanner::detail

namespace zelk::scanner {

struct RuleSet::Impl {
  std::vector<detail::Rule> rules;
  std::vector<detail::StringDef> strings;
  detail::LiteralIndex index;
  int namespaces = 0;
  bool jit = true;
};

}  // namespace zelk::scanner
