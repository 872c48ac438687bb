#include "filter/decode.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

#include "filter/bestfit936.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

// Calls visit(begin, end) for each segment of a path, '/' and '\' ending a
// segment; a '\' that is the second byte of a GBK character does not.
template <typename Visit>
void ForEachPathSegment(std::string_view path, Visit visit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsGbkPair(path, i)) {
      ++i;
      continue;
    }
    if (path[i] == '/' || path[i] == '\\') {
      visit(start, i);
      start = i + 1;
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

// The first '%' or '+' at or after `from`; text.size() when none.
std::size_t NextEscapeOrPlus(std::string_view text, std::size_t from) {
  while (from < text.size() && text[from] != '%' && text[from] != '+') ++from;
  return from;
}

}  // namespace

std::string DecodeQueryText(std::string_view text) {
  // Most values carry neither an escape nor a '+': nothing to decode.
  if (NextEscapeOrPlus(text, 0) == text.size()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
      ++i;
    } else if (c != '%') {
      const std::size_t end = NextEscapeOrPlus(text, i);
      out.append(text.substr(i, end - i));
      i = end;
    } else if (i + 1 < text.size() && (text[i + 1] == 'u' || text[i + 1] == 'U') &&
               HexNumberAt(text, i + 2, 4) >= 0) {
      const long unit = HexNumberAt(text, i + 2, 4);
      if (unit != 0) out += BestFit936(static_cast<std::uint16_t>(unit));
      i += 6;
    } else if (HexNumberAt(text, i + 1, 2) >= 0) {
      const long byte = HexNumberAt(text, i + 1, 2);
      if (byte != 0) out.push_back(static_cast<char>(byte));
      i += 3;
    } else {
      ++i;  // a stray '%' is dropped; what follows is read as it stands
    }
  }
  return out;
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

// True when no two parameters can share a name. Names without '%' or '+'
// decode to themselves, so comparing them as sent (ignoring ASCII case)
// settles it without decoding or allocating a string per name; a name that
// would need decoding leaves the question open.
bool NamesCertainlyDistinct(std::string_view query) {
  // Up to a few dozen names (nearly every query), a hash of each name
  // settles it without allocating: distinct hashes are distinct names.
  constexpr std::size_t kFewNames = 32;
  std::uint64_t hashes[kFewNames];
  std::size_t count = 0;
  bool few = true;
  for (std::size_t start = 0; few && start <= query.size();) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::string_view name = pair.substr(0, pair.find('='));
    std::uint64_t h = 14695981039346656037u;
    for (char c : name) {
      if (c == '%' || c == '+') return false;
      h = (h ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211u;
    }
    if (count == kFewNames) {
      few = false;
      break;
    }
    for (std::size_t k = 0; k < count; ++k) {
      if (hashes[k] == h) return false;  // the same name, or a collision: decide the long way
    }
    hashes[count++] = h;
  }
  if (few) return true;
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::string_view name = pair.substr(0, pair.find('='));
    if (name.find_first_of("%+") != std::string_view::npos) return false;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end(), LessIgnoringAsciiCase);
  for (std::size_t i = 1; i < names.size(); ++i) {
    if (!LessIgnoringAsciiCase(names[i - 1], names[i])) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> RepeatedParameterValues(std::string_view query) {
  if (NamesCertainlyDistinct(query)) return {};
  struct Values {
    std::string joined;
    int count = 0;
  };
  std::unordered_map<std::string, Values> by_name;
  std::vector<const std::string*> order;  // names in order of first sight
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view pair = query.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    const std::string name = ToAsciiLower(DecodeQueryText(pair.substr(0, eq)));
    const std::string value =
        eq == std::string_view::npos ? std::string() : DecodeQueryText(pair.substr(eq + 1));
    auto [it, inserted] = by_name.try_emplace(name);
    if (inserted) order.push_back(&it->first);
    Values& v = it->second;
    if (v.count++ > 0) v.joined += ", ";
    v.joined += value;
  }
  std::vector<std::string> repeated;
  for (const std::string* name : order) {
    Values& v = by_name[*name];
    if (v.count > 1) repeated.push_back(std::move(v.joined));
  }
  return repeated;
}

namespace {

std::string_view UrlExtView(std::string_view path) {
  const std::size_t pos = FindLastGbkSeparator(path, ".\\:");
  if (pos == std::string_view::npos || path[pos] != '.') return {};
  return path.substr(pos + 1);
}

}  // namespace

std::string ExtractUrlExt(std::string_view path) { return std::string(UrlExtView(path)); }

std::string_view StripFileSystemTrailers(std::string_view path) {
  static constexpr std::string_view kDataStream = "::$DATA";
  for (;;) {
    const std::size_t before = path.size();
    while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
    if (EndsWithIgnoreAsciiCase(path, kDataStream)) path.remove_suffix(kDataStream.size());
    if (path.size() == before) return path;
  }
}

bool IsScriptExtension(std::string_view ext) {
  return StartsWithIgnoreAsciiCase(ext, "as") || StartsWithIgnoreAsciiCase(ext, "cer") ||
         StartsWithIgnoreAsciiCase(ext, "cdx") || StartsWithIgnoreAsciiCase(ext, "ph");
}

UrlPathView ReadUrlPath(std::string_view url) {
  UrlPathView view;
  view.last_ext = ExtractUrlExt(StripFileSystemTrailers(url));

  struct Segment {
    std::string_view ext;  // within url
    bool cut = false;      // a ';' ended the name
  };
  std::vector<Segment> segments;
  segments.reserve(8);
  ForEachPathSegment(url, [&](std::size_t begin, std::size_t end) {
    std::string_view name = url.substr(begin, end - begin);
    Segment s;
    const std::size_t semicolon = name.find(';');  // never a GBK trail byte
    if (semicolon != std::string_view::npos) {
      name = name.substr(0, semicolon);
      s.cut = true;
    }
    s.ext = UrlExtView(StripFileSystemTrailers(name));
    segments.push_back(s);
  });

  const Segment& last = segments.back();
  view.folder_like = last.ext.empty() && !last.cut;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const Segment& s = segments[i];
    const bool has_path_info = i + 1 < segments.size();
    if (IsScriptExtension(s.ext)) {
      if (!view.script) {
        view.script = true;
        view.script_ext = std::string(s.ext);
      }
      if (s.cut || (has_path_info && !last.ext.empty())) view.shell_form = true;
    }
    if (has_path_info &&
        (EqualsIgnoreAsciiCase(s.ext, "cer") || EqualsIgnoreAsciiCase(s.ext, "asa") ||
         EqualsIgnoreAsciiCase(s.ext, "cdx"))) {
      view.shell_form = true;
    }
  }
  return view;
}

bool ExtensionInList(std::string_view list, std::string_view ext) {
  if (ext.empty()) return false;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find('|', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view entry = TrimBlanks(list.substr(start, end - start));
    if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (!entry.empty() && EqualsIgnoreAsciiCase(entry, ext)) return true;
    start = end + 1;
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
