#include "filter/decode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "filter/bestfit936.h"
#include "filter/byte_blocks.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

// Calls visit(begin, end) for each segment of a path, '/' and '\' ending a
// segment; a '\' that is the second byte of a GBK character does not.
template <typename Visit>
void ForEachPathSegment(std::string_view path, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '/' || c == '\\') {  // never the first byte of a GBK character
      visit(start, i);
      start = i + 1;
    } else if (static_cast<unsigned char>(c) >= 0x80 && IsGbkPair(path, i)) {
      ++i;
    }
  }
  visit(start, path.size());
}

bool IsDecimal(std::string_view s, std::size_t max_digits) {
  if (s.empty() || s.size() > max_digits) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool IsIpv4(std::string_view s) {
  int parts = 0;
  for (;;) {
    const std::size_t dot = s.find('.');
    const std::string_view part = s.substr(0, dot);
    if (!IsDecimal(part, 3) || std::stoi(std::string(part)) > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) return parts == 4;
    s.remove_prefix(dot + 1);
  }
}

bool IsIpv6(std::string_view s) {
  if (std::count(s.begin(), s.end(), ':') < 2 || s.size() > 45) return false;
  for (char c : s) {
    if (HexDigitValue(c) < 0 && c != ':' && c != '.') return false;
  }
  return true;
}

bool IsAddress(std::string_view t) {
  if (t.empty() || EqualsIgnoreAsciiCase(t, "unknown")) return true;
  if (t.front() == '[') {  // [v6] or [v6]:port
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos || !IsIpv6(t.substr(1, close - 1))) return false;
    const std::string_view rest = t.substr(close + 1);
    return rest.empty() || (rest[0] == ':' && IsDecimal(rest.substr(1), 5));
  }
  if (IsIpv4(t) || IsIpv6(t)) return true;
  const std::size_t colon = t.rfind(':');  // v4:port
  return colon != std::string_view::npos && IsIpv4(t.substr(0, colon)) &&
         IsDecimal(t.substr(colon + 1), 5);
}

}  // namespace

namespace {

// The first '%' or '+' at or after `from`; text.size() when none. Sixteen
// bytes at a time, then byte by byte from where the blocks stop.
std::size_t NextEscapeOrPlus(std::string_view text, std::size_t from) {
  from += blocks::RunWithoutEither(reinterpret_cast<const unsigned char*>(text.data()) + from,
                                   text.size() - from, '%', '+');
  while (from < text.size() && text[from] != '%' && text[from] != '+') ++from;
  return from;
}

}  // namespace

bool QueryTextNeedsDecoding(std::string_view text) {
  return NextEscapeOrPlus(text, 0) < text.size();
}

std::string DecodeQueryText(std::string_view text) {
  std::string out;
  AppendDecodedQueryText(text, &out);
  return out;
}

void AppendDecodedQueryText(std::string_view text, std::string* decoded) {
  std::string& out = *decoded;
  // Most values carry neither an escape nor a '+': nothing to decode.
  if (!QueryTextNeedsDecoding(text)) {
    out.append(text.data(), text.size());
    return;
  }
  // Decoding never lengthens the text (an escape of three or six bytes
  // gives at most two): the result is written in place into room for the
  // whole text and cut to its length at the end. (The string grows
  // geometrically when values are joined one after another.)
  const std::size_t at = out.size();
  out.resize(at + text.size());
  char* const start = out.data() + at;
  char* w = start;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '+') {
      *w++ = ' ';
      ++i;
    } else if (c != '%') {
      const std::size_t end = NextEscapeOrPlus(text, i);
      std::memcpy(w, text.data() + i, end - i);
      w += end - i;
      i = end;
    } else if (i + 1 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U') &&
               HexNumberAt(text, i + 2, 4) >= 0) {
      const long unit = HexNumberAt(text, i + 2, 4);
      if (unit != 0) {
        const std::string bytes = BestFit936(static_cast<std::uint16_t>(unit));
        std::memcpy(w, bytes.data(), bytes.size());
        w += bytes.size();
      }
      i += 6;
    } else if (HexNumberAt(text, i + 1, 2) >= 0) {
      const long byte = HexNumberAt(text, i + 1, 2);
      if (byte != 0) *w++ = static_cast<char>(byte);
      i += 3;
    } else {
      ++i;  // a stray '%' is dropped; what follows is read as it stands
    }
  }
  out.resize(at + static_cast<std::size_t>(w - start));
}

namespace {

bool LessIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const char x = AsciiLower(a[i]);
    const char y = AsciiLower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  return a.size() < b.size();
}

// The first `c` in text at or after `from`, or text.size(). The bytes
// nearby are looked at one by one first: a query of thousands of one-byte
// pairs would otherwise spend its time entering memchr.
std::size_t FindNear(std::string_view text, std::size_t from, char c) {
  const std::size_t near = std::min(text.size(), from + 16);
  for (; from < near; ++from) {
    if (text[from] == c) return from;
  }
  const std::size_t at = text.find(c, from);
  return at == std::string_view::npos ? text.size() : at;
}

// Whether the bytes at `at` are those of `text` (short texts compared in
// place rather than by a call to memcmp).
bool SameBytes(const char* at, std::string_view text) {
  if (text.size() > 16) return std::memcmp(at, text.data(), text.size()) == 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (at[i] != text[i]) return false;
  }
  return true;
}

// Calls visit(pair) for each non-empty "name=value" pair of a query, in
// order; stops and returns true as soon as visit returns true.
template <typename Visit>
bool ForEachPair(std::string_view query, Visit visit) {
  std::size_t start = 0;
  while (start <= query.size()) {
    const std::size_t end = FindNear(query, start, '&');
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (!pair.empty() && visit(pair)) return true;
  }
  return false;
}

std::string_view PairName(std::string_view pair) { return pair.substr(0, pair.find('=')); }

// Parameter names compared as ASP compares them: ignoring ASCII case.
struct NameHash {
  static constexpr std::uint64_t kStart = 14695981039346656037u;
  static std::uint64_t Step(std::uint64_t h, char c) {
    return (h ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211u;
  }
  std::size_t operator()(std::string_view name) const {
    std::uint64_t h = kStart;
    for (char c : name) h = Step(h, c);
    return static_cast<std::size_t>(h);
  }
};
struct NameEqual {
  bool operator()(std::string_view a, std::string_view b) const {
    return EqualsIgnoreAsciiCase(a, b);
  }
};

// The bytes that end the reading of a name: its end ('=' or '&'), or what
// makes it need decoding.
constexpr std::array<bool, 256> MakeNameStops() {
  std::array<bool, 256> stops{};
  stops['='] = stops['&'] = stops['%'] = stops['+'] = true;
  return stops;
}
constexpr std::array<bool, 256> kNameStops = MakeNameStops();

// NamesCertainlyDistinct for a query of many names: sorted and compared.
bool ManyNamesCertainlyDistinct(std::string_view query) {
  std::vector<std::string_view> names;
  const bool open = ForEachPair(query, [&](std::string_view pair) {
    names.push_back(PairName(pair));
    return QueryTextNeedsDecoding(names.back());
  });
  if (open) return false;
  std::sort(names.begin(), names.end(), LessIgnoringAsciiCase);
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (!LessIgnoringAsciiCase(names[i - 1], names[i])) return false;
  }
  return true;
}

// True when no two parameters can share a name. Names without '%' or '+'
// decode to themselves, so comparing them as sent (ignoring ASCII case)
// settles it without decoding or allocating a string per name; a name that
// would need decoding leaves the question open.
bool NamesCertainlyDistinct(std::string_view query) {
  // Up to a few dozen names (nearly every query), a hash of each name
  // settles it without allocating: distinct hashes are distinct names. Each
  // name is read once, up to its '=' or '&', for its hash and for '%' and
  // '+' together; its value is skipped to the next '&'.
  constexpr std::size_t kFewNames = 32;
  std::uint64_t hashes[kFewNames];
  std::size_t count = 0;
  const std::size_t n = query.size();
  for (std::size_t start = 0; start <= n;) {
    std::uint64_t h = NameHash::kStart;
    std::size_t k = start;
    while (k < n && !kNameStops[static_cast<unsigned char>(query[k])]) {
      h = NameHash::Step(h, query[k++]);
    }
    if (k < n && (query[k] == '%' || query[k] == '+')) return false;
    std::size_t end = k < n && query[k] == '&' ? k : query.find('&', k);
    if (end == std::string_view::npos) end = n;
    if (end > start) {  // empty pairs ("&&") name nothing
      if (count == kFewNames) return ManyNamesCertainlyDistinct(query);
      for (std::size_t j = 0; j < count; ++j) {
        if (hashes[j] == h) return false;  // the same name, or a collision: decide the long way
      }
      hashes[count++] = h;
    }
    start = end + 1;
  }
  return true;
}

// Past a run of '&' from `at` (the empty pairs between "a=1&&&a=1").
std::size_t SkipAmpersands(std::string_view query, std::size_t at) {
  while (at < query.size() && query[at] == '&') ++at;
  return at;
}

}  // namespace

std::vector<std::string> RepeatedParameterValues(std::string_view query) {
  if (NamesCertainlyDistinct(query)) return {};
  // Names are looked up where they stand in the query; only a name that
  // needs decoding gets a string of its own.
  struct Values {
    std::string joined;
    std::size_t count = 0;
  };
  std::vector<Values> values;  // in order of the names' first sight
  std::unordered_map<std::string_view, std::size_t, NameHash, NameEqual> by_name;
  std::deque<std::string> decoded_names;
  // A run of pairs under one name (a list, or filler sent to make the
  // filter slow) is looked up once.
  std::string_view last_name;
  std::size_t last = 0;
  const std::size_t n = query.size();
  for (std::size_t start = 0; start <= n;) {
    const std::size_t end = FindNear(query, start, '&');
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;  // "&&" names nothing
    start = SkipAmpersands(query, start);
    const std::size_t eq = FindNear(pair, 0, '=');
    std::string_view name = pair.substr(0, eq);
    if (QueryTextNeedsDecoding(name)) {
      decoded_names.push_back(DecodeQueryText(name));
      name = decoded_names.back();
    }
    if (values.empty() || !NameEqual{}(name, last_name)) {
      const auto [it, inserted] = by_name.try_emplace(name, values.size());
      if (inserted) values.emplace_back();
      last_name = it->first;
      last = it->second;
    }
    Values& v = values[last];
    if (v.count++ > 0) v.joined += ", ";
    const std::size_t value_at = v.joined.size();
    if (eq < pair.size()) AppendDecodedQueryText(pair.substr(eq + 1), &v.joined);
    // The same pair again and again: counted, then its value appended once
    // for each repeat, without reading it again.
    std::size_t repeats = 0;
    while (start <= n && n - start >= pair.size() && SameBytes(query.data() + start, pair) &&
           (start + pair.size() == n || query[start + pair.size()] == '&')) {
      ++repeats;
      start = SkipAmpersands(query, start + pair.size() + 1);
    }
    if (repeats > 0) {
      // ", value" once, then what is there doubled until all are in.
      const std::size_t unit = 2 + v.joined.size() - value_at;
      v.joined.reserve(v.joined.size() + repeats * unit);
      v.joined += ", ";
      v.joined.append(v.joined, value_at, unit - 2);
      for (std::size_t done = 1; done < repeats;) {
        const std::size_t take = std::min(done, repeats - done) * unit;
        v.joined.append(v.joined, v.joined.size() - take, take);
        done += take / unit;
      }
      v.count += repeats;
    }
  }
  std::vector<std::string> repeated;
  for (Values& v : values) {
    if (v.count > 1) repeated.push_back(std::move(v.joined));
  }
  return repeated;
}

namespace {

// The bytes after the last '.' when no '\\' or ':' follows it; a '\\' that is
// the second byte of a GBK character does not count.
std::string_view UrlExtView(std::string_view path) {
  // '.' and ':' are never part of a GBK character; '\\' can be its second
  // byte. Without a '\\' after the last dot no walk from the start is needed.
  const std::size_t last_dot = path.rfind('.');
  if (last_dot == std::string_view::npos) return {};
  const std::string_view tail = path.substr(last_dot + 1);
  if (tail.find(':') != std::string_view::npos) return {};
  if (tail.find('\\') == std::string_view::npos) return tail;
  std::size_t dot = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    if (c == '.') {
      dot = i;
    } else if (c == '\\' || c == ':') {
      dot = std::string_view::npos;
    } else if (static_cast<unsigned char>(c) >= 0x80 && IsGbkPair(path, i)) {
      ++i;
    }
  }
  return dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
}

}  // namespace

std::string ExtractUrlExt(std::string_view path) { return std::string(UrlExtView(path)); }

std::string_view StripFileSystemTrailers(std::string_view path) {
  static constexpr std::string_view kDataStream = "::$DATA";
  if (path.empty()) return path;
  const char last = path.back();
  if (last != '.' && last != ' ' && last != 'A' && last != 'a') return path;  // the common case
  for (;;) {
    const std::size_t before = path.size();
    while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
    if (EndsWithIgnoreAsciiCase(path, kDataStream)) path.remove_suffix(kDataStream.size());
    if (path.size() == before) return path;
  }
}

bool IsScriptExtension(std::string_view ext) {
  if (ext.size() < 2) return false;
  const char first = AsciiLower(ext[0]), second = AsciiLower(ext[1]);
  switch (first) {
    case 'a':
      return second == 's';
    case 'p':
      return second == 'h';
    case 'c': {
      const char third = ext.size() >= 3 ? AsciiLower(ext[2]) : '\0';
      return (second == 'e' && third == 'r') || (second == 'd' && third == 'x');
    }
    default:
      return false;
  }
}

namespace {

// What the segments of a path say, judged one segment at a time: whether a
// segment has path info is known when the next one starts, the last
// segment's extension only at the end.
class PathJudge {
 public:
  explicit PathJudge(UrlPathView* view) : view_(*view) {}

  // One segment's extension (after the file system's trailers are dropped)
  // and whether a ';' cut its name.
  void Segment(std::string_view ext, bool cut) {
    if (script_seen_) script_has_path_info_ = true;
    if (previous_maps_scripts_) view_.shell_form = true;
    ext_ = ext;
    cut_ = cut;
    previous_maps_scripts_ = false;
    if (ext.size() < 2) return;  // no script extension is shorter (most folders have none)
    const bool script = IsScriptExtension(ext);
    if (script) {
      if (!view_.script) {
        view_.script = true;
        view_.script_ext = ext;
      }
      if (cut) view_.shell_form = true;
      script_seen_ = true;
    }
    previous_maps_scripts_ =
        script && ext.size() == 3 &&
        (EqualsIgnoreAsciiCase(ext, "cer") || EqualsIgnoreAsciiCase(ext, "asa") ||
         EqualsIgnoreAsciiCase(ext, "cdx"));
  }

  void Finish() {
    view_.folder_like = ext_.empty() && !cut_;
    if (script_has_path_info_ && !ext_.empty()) view_.shell_form = true;
  }

 private:
  UrlPathView& view_;
  bool script_seen_ = false;            // some earlier segment is a script
  bool script_has_path_info_ = false;   // ... and a segment follows it
  bool previous_maps_scripts_ = false;  // the previous segment is .cer, .asa or .cdx
  std::string_view ext_;                // the last segment's, once all are read
  bool cut_ = false;
};

// How the plain reading sees each byte of a path.
enum PathByte : unsigned char { kPathPlain, kPathSlash, kPathDot, kPathElse };
constexpr std::array<unsigned char, 256> MakePathBytes() {
  std::array<unsigned char, 256> kinds{};
  kinds['/'] = kPathSlash;
  kinds['.'] = kPathDot;
  kinds[';'] = kinds[':'] = kinds['\\'] = kPathElse;
  for (int c = 0x80; c < 256; ++c) kinds[c] = kPathElse;
  return kinds;
}
constexpr std::array<unsigned char, 256> kPathBytes = MakePathBytes();

// Most paths are plain ASCII segments with no ';', ':' or '\\' and no name
// ending in a trailer the file system drops. Their extensions are the bytes
// after each segment's last dot, found in one pass; false leaves any other
// path to the general reading.
bool ReadPlainUrlPath(std::string_view url, UrlPathView* view) {
  PathJudge judge(view);
  const auto* s = reinterpret_cast<const unsigned char*>(url.data());
  const std::size_t n = url.size();
  std::size_t begin = 0, last_dot = std::string_view::npos, dot = std::string_view::npos;
  for (std::size_t i = 0;; ++i) {
    while (i < n && kPathBytes[s[i]] == kPathPlain) ++i;
    const unsigned char kind = i < n ? kPathBytes[s[i]] : +kPathSlash;  // the end closes a segment
    if (kind == kPathSlash) {
      // A name ending in '.' or ' ' loses them in the file system ("::$DATA"
      // needs a ':', which sends the path to the general reading anyway).
      if (i > begin && (s[i - 1] == '.' || s[i - 1] == ' ')) return false;
      judge.Segment(
          dot == std::string_view::npos ? std::string_view() : url.substr(dot + 1, i - dot - 1),
          false);
      if (i == n) break;
      begin = i + 1;
      dot = std::string_view::npos;
    } else if (kind == kPathDot) {
      dot = last_dot = i;
    } else {
      return false;
    }
  }
  judge.Finish();
  if (last_dot != std::string_view::npos) view->last_ext = url.substr(last_dot + 1);
  return true;
}

}  // namespace

UrlPathView ReadUrlPath(std::string_view url) {
  UrlPathView view;
  if (ReadPlainUrlPath(url, &view)) return view;
  view = UrlPathView();
  view.last_ext = UrlExtView(StripFileSystemTrailers(url));
  PathJudge judge(&view);
  ForEachPathSegment(url, [&](std::size_t begin, std::size_t end) {
    std::string_view name = url.substr(begin, end - begin);
    const std::size_t semicolon = name.find(';');  // never a GBK trail byte
    const bool cut = semicolon != std::string_view::npos;
    if (cut) name = name.substr(0, semicolon);
    judge.Segment(UrlExtView(StripFileSystemTrailers(name)), cut);
  });
  judge.Finish();
  return view;
}

namespace {

// Calls visit(entry) for each entry of a '|'-separated extension list,
// trimmed of blanks and of its leading dot; stops when visit returns true.
template <typename Visit>
bool ForEachListedExtension(std::string_view list, Visit visit) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t i = 0;
  const std::size_t n = list.size();
  while (i <= n) {
    std::size_t begin = i;
    while (i < n && list[i] != '|') ++i;
    std::size_t end = i++;
    while (begin < end && blank(list[begin])) ++begin;
    while (end > begin && blank(list[end - 1])) --end;
    if (begin < end && list[begin] == '.') ++begin;
    if (begin < end && visit(list.substr(begin, end - begin))) return true;
  }
  return false;
}

}  // namespace

bool ExtensionInList(std::string_view list, std::string_view ext) {
  if (ext.empty()) return false;
  return ForEachListedExtension(
      list, [&](std::string_view entry) { return EqualsIgnoreAsciiCase(entry, ext); });
}

namespace {

// The bytes of a text of at most eight, in lower case, in one word (the
// rest zero): two such texts of the same length are equal ignoring ASCII
// case when their words are.
std::uint64_t PackLower(std::string_view text) {
  std::uint64_t packed = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    packed |= std::uint64_t{static_cast<unsigned char>(AsciiLower(text[i]))} << (8 * i);
  }
  return packed;
}

}  // namespace

ExtensionList::ExtensionList(std::string_view list) {
  ForEachListedExtension(list, [&](std::string_view entry) {
    Entry e{ToAsciiLower(entry)};
    if (e.text.size() <= 8) e.packed = PackLower(e.text);
    first_bytes_ |= 1u << (static_cast<unsigned char>(e.text[0]) & 31);
    entries_.push_back(std::move(e));
    return false;
  });
}

bool ExtensionList::Contains(std::string_view ext) const {
  if (ext.empty() ||
      (first_bytes_ & (1u << (static_cast<unsigned char>(AsciiLower(ext[0])) & 31))) == 0) {
    return false;
  }
  if (ext.size() <= 8) {
    const std::uint64_t packed = PackLower(ext);
    for (const Entry& entry : entries_) {
      if (entry.packed == packed && entry.text.size() == ext.size()) return true;
    }
    return false;
  }
  for (const Entry& entry : entries_) {
    if (EqualsIgnoreAsciiCase(entry.text, ext)) return true;  // entries are never empty
  }
  return false;
}

bool IsAddressList(std::string_view value) {
  std::size_t start = 0;
  while (start <= value.size()) {
    std::size_t end = value.find(',', start);
    if (end == std::string_view::npos) end = value.size();
    if (!IsAddress(TrimBlanks(value.substr(start, end - start)))) return false;
    start = end + 1;
  }
  return true;
}

std::string CutForLog(std::string_view value, std::size_t max_bytes) {
  if (value.size() <= max_bytes) return std::string(value);
  std::size_t cut = 0;
  while (cut < max_bytes) {
    const std::size_t step = IsGbkPair(value, cut) ? 2 : 1;
    if (cut + step > max_bytes) break;
    cut += step;
  }
  return std::string(value.substr(0, cut)) + "...";
}

}  // namespace zelk::filter
