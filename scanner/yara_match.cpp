// Matching compiled rules against one file's bytes: the one-pass literal
// search, the regular expressions whose atoms were seen, and the evaluation
// of the conditions with libyara's rules for undefined values (an undefined
// operand makes a comparison or arithmetic undefined, and undefined counts as
// false where a truth value is needed).
#include <pcre.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/pcre_jit_stack.h"
#include "scanner/yara_internal.h"

namespace zelk::scanner {
namespace detail {
namespace {

// Past this many steps a PCRE call gives up (PCRE_ERROR_MATCHLIMIT): the
// string then has no more matches in the file. Legitimate web-shell patterns
// need a few hundred steps per start offset.
constexpr unsigned long kMatchLimit = 2000000;
constexpr unsigned long kRecursionLimit = 5000;

// The JIT's default stack is 32 KB of the calling thread's stack; a stack of
// our own, lent per match, lets bounded repetitions of a few thousand bytes
// run.
// Atoms remembered per expression tried at each atom; one seen more often
// is searched for instead.
constexpr std::size_t kMaxAtomPlaces = 64;

platform::JitStackPool& JitStacks() {
  static platform::JitStackPool pool(32 * 1024, 1024 * 1024);
  return pool;
}

bool IsAlnum(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// libyara's "fullword": the bytes before and after the match are not letters
// or digits (for wide strings, not a letter or digit followed by a zero).
bool FullwordOk(std::string_view data, std::size_t at, std::size_t len, bool wide) {
  if (wide) {
    if (at >= 2 && data[at - 1] == '\0' && IsAlnum(data[at - 2])) return false;
    if (at + len + 1 < data.size() && data[at + len + 1] == '\0' && IsAlnum(data[at + len])) {
      return false;
    }
    return true;
  }
  if (at >= 1 && IsAlnum(data[at - 1])) return false;
  if (at + len < data.size() && IsAlnum(data[at + len])) return false;
  return true;
}

}  // namespace

std::shared_ptr<Regex> Regex::Compile(const std::string& pattern, bool caseless, bool dotall,
                                      bool jit, std::string* error, bool anchored) {
  const char* err = nullptr;
  int offset = 0;
  int options = PCRE_DOLLAR_ENDONLY | PCRE_NEWLINE_LF;
  if (anchored) options |= PCRE_ANCHORED;
  if (caseless) options |= PCRE_CASELESS;
  if (dotall) options |= PCRE_DOTALL;
  pcre* code = pcre_compile(pattern.c_str(), options, &err, &offset, nullptr);
  if (code == nullptr) {
    *error = std::string(err != nullptr ? err : "pcre_compile failed") + " at offset " +
             std::to_string(offset);
    return nullptr;
  }
  std::shared_ptr<Regex> re(new Regex());
  re->code_ = code;
  int study_options = 0;
#ifdef PCRE_STUDY_JIT_COMPILE
  if (jit) study_options |= PCRE_STUDY_JIT_COMPILE;
#else
  (void)jit;
#endif
  const char* study_err = nullptr;
  pcre_extra* extra = pcre_study(code, study_options, &study_err);
  if (extra == nullptr) {
    extra = static_cast<pcre_extra*>(pcre_malloc(sizeof(pcre_extra)));
    if (extra == nullptr) {
      *error = "out of memory";
      return nullptr;
    }
    *extra = pcre_extra{};
  }
  extra->flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
  extra->match_limit = kMatchLimit;
  extra->match_limit_recursion = kRecursionLimit;
  re->extra_ = extra;
  return re;
}

Regex::~Regex() {
  if (extra_ != nullptr) pcre_free_study(static_cast<pcre_extra*>(extra_));
  if (code_ != nullptr) pcre_free(code_);
}

bool Regex::Find(std::string_view data, std::size_t from, std::size_t* start,
                 std::size_t* end) const {
  if (data.size() > 0x7fffffff || from > data.size()) return false;
  int ovector[3];
  const int rc = platform::JitExec(JitStacks(), static_cast<const pcre*>(code_),
                                   static_cast<const pcre_extra*>(extra_), data.data(),
                                   static_cast<int>(data.size()), static_cast<int>(from),
                                   PCRE_NO_UTF8_CHECK, ovector, 3);
  if (rc < 0) return false;
  *start = static_cast<std::size_t>(ovector[0]);
  *end = static_cast<std::size_t>(ovector[1]);
  return true;
}

void LiteralIndex::Build(const std::vector<StringDef>& strings) {
  literals.clear();
  always_run.clear();
  for (int i = 0; i < static_cast<int>(strings.size()); ++i) {
    const StringDef& s = strings[static_cast<std::size_t>(i)];
    if (s.kind != StringKind::kText) {
      if (s.atoms.empty()) always_run.push_back(i);
      for (const std::string& atom : s.atoms) {
        Literal l;
        l.lower = atom;
        l.string_index = i;
        l.is_atom = true;
        literals.push_back(std::move(l));
      }
      continue;
    }
    for (int variant = 0; variant < 2; ++variant) {
      const bool wide = variant == 1;
      if (wide ? !s.wide : !s.ascii) continue;
      Literal l;
      for (char c : s.text) {
        l.exact += c;
        if (wide) l.exact += '\0';
      }
      l.lower = l.exact;
      for (char& c : l.lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      l.string_index = i;
      l.case_sensitive = !s.nocase;
      l.wide = wide;
      l.fullword = s.fullword;
      literals.push_back(std::move(l));
    }
  }
  pair_bits.assign(65536 / 64, 0);
  bucket_start.assign(65537, 0);
  for (auto& list : single) list.clear();
  any_single = false;
  std::vector<std::uint32_t> counts(65536, 0);
  auto key_of = [](const std::string& s) {
    return static_cast<unsigned char>(s[0]) |
           (static_cast<unsigned>(static_cast<unsigned char>(s[1])) << 8);
  };
  for (std::uint32_t i = 0; i < literals.size(); ++i) {
    const std::string& s = literals[i].lower;
    if (s.size() == 1) {
      single[static_cast<unsigned char>(s[0])].push_back(i);
      any_single = true;
    } else {
      ++counts[key_of(s)];
    }
  }
  for (std::size_t k = 0; k < 65536; ++k) bucket_start[k + 1] = bucket_start[k] + counts[k];
  bucket_items.assign(bucket_start[65536], 0);
  std::vector<std::uint32_t> fill(bucket_start.begin(), bucket_start.end() - 1);
  for (std::uint32_t i = 0; i < literals.size(); ++i) {
    const std::string& s = literals[i].lower;
    if (s.size() < 2) continue;
    const unsigned k = key_of(s);
    bucket_items[fill[k]++] = i;
    pair_bits[k >> 6] |= std::uint64_t{1} << (k & 63);
  }
}

namespace {

struct Value {
  enum Type { kUndefined, kInt, kText } type = kUndefined;
  std::int64_t i = 0;
  std::string_view s;
};

Value Int(std::int64_t v) { return {Value::kInt, v, {}}; }
Value Bool(bool v) { return Int(v ? 1 : 0); }
bool Truth(const Value& v) {
  if (v.type == Value::kInt) return v.i != 0;
  if (v.type == Value::kText) return !v.s.empty();
  return false;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// Everything one evaluation needs; lives for one Match call.
class Evaluator {
 public:
  Evaluator(const RuleSet::Impl& set, std::string_view data, const Externals& ext,
            const std::vector<std::vector<Hit>>& hits)
      : set_(set), data_(data), hits_(hits), results_(set.rules.size(), false) {
    external_[0] = ext.filename;
    external_[1] = ext.filepath;
    external_[2] = ext.extension;
    external_[3] = ext.filetype;
    external_[4] = ext.owner;
  }

  std::vector<std::string> Run() {
    std::vector<bool> ns_failed(static_cast<std::size_t>(set_.namespaces), false);
    for (std::size_t i = 0; i < set_.rules.size(); ++i) {
      const Rule& r = set_.rules[i];
      results_[i] = Truth(Eval(*r.condition));
      if (r.is_global && !results_[i]) ns_failed[static_cast<std::size_t>(r.ns)] = true;
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < set_.rules.size(); ++i) {
      const Rule& r = set_.rules[i];
      if (results_[i] && !r.is_private && !ns_failed[static_cast<std::size_t>(r.ns)]) {
        out.push_back(r.name);
      }
    }
    return out;
  }

 private:
  const std::vector<Hit>& HitsOf(int index) const { return hits_[static_cast<std::size_t>(index)]; }

  Value Eval(const Expr& e) {
    switch (e.op) {
      case Op::kTrue:
        return Bool(true);
      case Op::kFalse:
        return Bool(false);
      case Op::kInt:
        return Int(e.value);
      case Op::kText:
        return {Value::kText, 0, e.text};
      case Op::kFilesize:
        return Int(static_cast<std::int64_t>(data_.size()));
      case Op::kExternal:
        return {Value::kText, 0, external_[e.index]};
      case Op::kRuleRef:
        return Bool(results_[static_cast<std::size_t>(e.index)]);
      case Op::kAnd:
        return Bool(Truth(Eval(*e.kids[0])) && Truth(Eval(*e.kids[1])));
      case Op::kOr:
        return Bool(Truth(Eval(*e.kids[0])) || Truth(Eval(*e.kids[1])));
      case Op::kNot: {
        const Value v = Eval(*e.kids[0]);
        if (v.type == Value::kUndefined) return v;
        return Bool(!Truth(v));
      }
      case Op::kFound:
        return Bool(!HitsOf(e.index).empty());
      case Op::kFoundAt: {
        const Value at = Eval(*e.kids[0]);
        if (at.type != Value::kInt) return {};
        for (const Hit& h : HitsOf(e.index)) {
          if (h.offset == at.i) return Bool(true);
        }
        return Bool(false);
      }
      case Op::kFoundIn:
      case Op::kCountIn: {
        const Value lo = Eval(*e.kids[0]);
        const Value hi = Eval(*e.kids[1]);
        if (lo.type != Value::kInt || hi.type != Value::kInt) return {};
        std::int64_t n = 0;
        for (const Hit& h : HitsOf(e.index)) n += h.offset >= lo.i && h.offset <= hi.i;
        return e.op == Op::kFoundIn ? Bool(n > 0) : Int(n);
      }
      case Op::kCount:
        return Int(static_cast<std::int64_t>(HitsOf(e.index).size()));
      case Op::kOffset:
      case Op::kLength: {
        const Value i = Eval(*e.kids[0]);
        const std::vector<Hit>& hits = HitsOf(e.index);
        if (i.type != Value::kInt || i.i < 1 || static_cast<std::uint64_t>(i.i) > hits.size())
          return {};
        const Hit& h = hits[static_cast<std::size_t>(i.i - 1)];
        return Int(e.op == Op::kOffset ? h.offset : h.length);
      }
      case Op::kReadInt:
        return ReadInt(e);
      case Op::kNeg:
      case Op::kBitNot: {
        const Value v = Eval(*e.kids[0]);
        if (v.type != Value::kInt) return {};
        return Int(e.op == Op::kNeg ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(v.i))
                                    : ~v.i);
      }
      case Op::kOfAny:
      case Op::kOfAll:
      case Op::kOfCount: {
        std::int64_t need = 1;
        if (e.op == Op::kOfAll) need = static_cast<std::int64_t>(e.set.size());
        if (e.op == Op::kOfCount) {
          const Value n = Eval(*e.kids[0]);
          if (n.type != Value::kInt) return {};
          need = n.i;
        }
        std::int64_t found = 0;
        for (int s : e.set) found += !HitsOf(s).empty();
        return Bool(found >= need);
      }
      case Op::kMatches: {
        const Value v = Eval(*e.kids[0]);
        if (v.type != Value::kText) return {};
        std::size_t start = 0, end = 0;
        return Bool(e.regex->Find(v.s, 0, &start, &end));
      }
      default:
        return Binary(e);
    }
  }

  Value ReadInt(const Expr& e) {
    const Value at = Eval(*e.kids[0]);
    const std::int64_t n = e.value;
    if (at.type != Value::kInt || at.i < 0 || at.i + n > static_cast<std::int64_t>(data_.size()))
      return {};
    std::uint64_t v = 0;
    for (std::int64_t k = 0; k < n; ++k) {
      const std::uint64_t byte =
          static_cast<unsigned char>(data_[static_cast<std::size_t>(at.i + k)]);
      v |= e.big_endian ? byte << (8 * (n - 1 - k)) : byte << (8 * k);
    }
    if (e.is_signed) {
      const int bits = static_cast<int>(8 * n);
      if (v & (std::uint64_t{1} << (bits - 1)))
        return Int(static_cast<std::int64_t>(v) - (std::int64_t{1} << bits));
    }
    return Int(static_cast<std::int64_t>(v));
  }

  Value Binary(const Expr& e) {
    const Value a = Eval(*e.kids[0]);
    const Value b = Eval(*e.kids[1]);
    if (a.type == Value::kUndefined || b.type == Value::kUndefined) return {};
    if (a.type == Value::kText || b.type == Value::kText) {
      if (a.type != b.type) return {};
      const std::string_view x = a.s, y = b.s;
      switch (e.op) {
        case Op::kEq:
          return Bool(x == y);
        case Op::kNe:
          return Bool(x != y);
        case Op::kLt:
          return Bool(x < y);
        case Op::kLe:
          return Bool(x <= y);
        case Op::kGt:
          return Bool(x > y);
        case Op::kGe:
          return Bool(x >= y);
        case Op::kContains:
          return Bool(x.find(y) != std::string_view::npos);
        case Op::kStartsWith:
          return Bool(x.substr(0, y.size()) == y);
        case Op::kEndsWith:
          return Bool(x.size() >= y.size() && x.substr(x.size() - y.size()) == y);
        case Op::kIEquals:
          return Bool(EqualsNoCase(x, y));
        case Op::kIStartsWith:
          return Bool(x.size() >= y.size() && EqualsNoCase(x.substr(0, y.size()), y));
        case Op::kIEndsWith:
          return Bool(x.size() >= y.size() && EqualsNoCase(x.substr(x.size() - y.size()), y));
        case Op::kIContains: {
          if (y.size() > x.size()) return Bool(false);
          for (std::size_t i = 0; i + y.size() <= x.size(); ++i) {
            if (EqualsNoCase(x.substr(i, y.size()), y)) return Bool(true);
          }
          return Bool(false);
        }
        default:
          return {};
      }
    }
    const std::int64_t x = a.i, y = b.i;
    const auto ux = static_cast<std::uint64_t>(x), uy = static_cast<std::uint64_t>(y);
    switch (e.op) {
      case Op::kEq:
        return Bool(x == y);
      case Op::kNe:
        return Bool(x != y);
      case Op::kLt:
        return Bool(x < y);
      case Op::kLe:
        return Bool(x <= y);
      case Op::kGt:
        return Bool(x > y);
      case Op::kGe:
        return Bool(x >= y);
      case Op::kAdd:
        return Int(static_cast<std::int64_t>(ux + uy));
      case Op::kSub:
        return Int(static_cast<std::int64_t>(ux - uy));
      case Op::kMul:
        return Int(static_cast<std::int64_t>(ux * uy));
      case Op::kDiv:
        if (y == 0 || (x == INT64_MIN && y == -1)) return {};
        return Int(x / y);
      case Op::kMod:
        if (y == 0 || (x == INT64_MIN && y == -1)) return {};
        return Int(x % y);
      case Op::kBitAnd:
        return Int(x & y);
      case Op::kBitOr:
        return Int(x | y);
      case Op::kBitXor:
        return Int(x ^ y);
      case Op::kShl:
        return Int(y < 0 ? 0 : y >= 64 ? 0 : static_cast<std::int64_t>(ux << y));
      case Op::kShr:
        return Int(y < 0 ? 0 : y >= 64 ? 0 : x >> y);
      default:
        return {};
    }
  }

  const RuleSet::Impl& set_;
  std::string_view data_;
  const std::vector<std::vector<Hit>>& hits_;
  std::vector<bool> results_;
  std::string_view external_[5];
};

}  // namespace
}  // namespace detail

using detail::Hit;
using detail::Literal;
using detail::StringDef;

std::vector<std::string> RuleSet::Match(std::string_view data, const Externals& externals) const {
  const detail::LiteralIndex& index = impl_->index;
  std::vector<std::vector<Hit>> hits(impl_->strings.size());
  std::vector<bool> run(impl_->strings.size(), false);
  // Where an expression's first atom was seen (the search pass goes forward),
  // and, for one whose matches open with an atom, every place one was seen
  // (up to kMaxAtomPlaces; past that it is searched for from the first).
  std::vector<std::size_t> first_atom(impl_->strings.size(), 0);
  std::vector<std::vector<std::uint32_t>> atom_places(impl_->strings.size());
  for (int i : index.always_run) run[static_cast<std::size_t>(i)] = true;

  // The one pass over the data for every literal.
  // Not thread_local: under mingw-w64 a thread-local object with a
  // destructor is destroyed after its storage was freed.
  std::string lower(data.size(), '\0');
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    lower[i] =
        c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;  // the C locale's tolower
  }
  const auto* lc = reinterpret_cast<const unsigned char*>(lower.data());
  const std::size_t n = data.size();
  auto record = [&](const Literal& l, std::size_t at) {
    if (l.is_atom) {
      const auto i = static_cast<std::size_t>(l.string_index);
      if (!run[i]) first_atom[i] = at;
      run[i] = true;
      std::vector<std::uint32_t>& places = atom_places[i];
      if (impl_->strings[i].anchored && places.size() <= detail::kMaxAtomPlaces &&
          (places.empty() || places.back() != at)) {
        places.push_back(static_cast<std::uint32_t>(at));
      }
      return;
    }
    if (l.case_sensitive && std::memcmp(data.data() + at, l.exact.data(), l.exact.size()) != 0)
      return;
    if (l.fullword && !detail::FullwordOk(data, at, l.exact.size(), l.wide)) return;
    std::vector<Hit>& list = hits[static_cast<std::size_t>(l.string_index)];
    if (list.size() >= kMaxMatchesPerString) return;
    // A string that is both ascii and wide can match at one offset twice
    // (its one-character form); libyara keeps one match per offset.
    if (!list.empty() && list.back().offset == at) return;
    list.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(l.exact.size())});
  };
  for (std::size_t p = 0; p < n; ++p) {
    if (index.any_single) {
      for (std::uint32_t li : index.single[lc[p]]) record(index.literals[li], p);
    }
    if (p + 1 >= n) break;
    const unsigned key = lc[p] | (static_cast<unsigned>(lc[p + 1]) << 8);
    if ((index.pair_bits[key >> 6] >> (key & 63) & 1) == 0) continue;
    for (std::uint32_t b = index.bucket_start[key]; b < index.bucket_start[key + 1]; ++b) {
      const Literal& l = index.literals[index.bucket_items[b]];
      if (l.lower.size() > n - p || std::memcmp(lc + p, l.lower.data(), l.lower.size()) != 0)
        continue;
      record(l, p);
    }
  }

  // Regular expressions and hex strings: every offset where one matches.
  for (std::size_t i = 0; i < impl_->strings.size(); ++i) {
    if (!run[i]) continue;
    const StringDef& s = impl_->strings[i];
    if (s.anchored && atom_places[i].size() <= detail::kMaxAtomPlaces) {
      // Every match opens with an atom: it is tried at each atom, anchored.
      for (const std::uint32_t at : atom_places[i]) {
        std::size_t end = 0;
        if (!s.anchored->MatchAt(data, at, &end) || end == at) continue;
        if (s.fullword && !detail::FullwordOk(data, at, end - at, false)) continue;
        hits[i].push_back({at, static_cast<std::uint32_t>(end - at)});
        if (!s.needs_all || hits[i].size() >= kMaxMatchesPerString) break;
      }
      continue;
    }
    // A match that begins with an atom cannot begin before the first one.
    std::size_t from = s.starts_with_atom ? first_atom[i] : 0, start = 0, end = 0;
    while (from <= n && s.regex->Find(data, from, &start, &end)) {
      from = start + 1;
      if (end == start) continue;
      if (s.fullword && !detail::FullwordOk(data, start, end - start, false)) continue;
      hits[i].push_back(
          {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)});
      // A string the conditions only ask about (no count, offset, length or
      // position) is settled by its first match: one PCRE pass stops there.
      if (!s.needs_all || hits[i].size() >= kMaxMatchesPerString) break;
    }
  }
  for (std::size_t i = 0; i < impl_->strings.size(); ++i) {
    if (impl_->strings[i].kind == detail::StringKind::kText && impl_->strings[i].wide &&
        impl_->strings[i].ascii) {
      std::sort(hits[i].begin(), hits[i].end(),
                [](const Hit& a, const Hit& b) { return a.offset < b.offset; });
    }
  }
  return detail::Evaluator(*impl_, data, externals, hits).Run();
}

}  // namespace zelk::scanner
