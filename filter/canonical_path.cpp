#include "filter/canonical_path.h"

#include <cstdint>
#include <vector>

#include "filter/bestfit936.h"
#include "filter/byte_blocks.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

// One decoded piece of the path: a byte, or a UTF-16 unit from "%uXXXX".
struct Piece {
  std::uint16_t value;
  bool unit;
};

// Decodes the UTF-8 sequence at bytes[i]; returns its length, or 0 when it is
// not valid UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8(const std::vector<unsigned char>& bytes, std::size_t i, char32_t* cp) {
  const unsigned char b = bytes[i];
  std::size_t n;
  char32_t min;
  if (b < 0x80) {
    *cp = b;
    return 1;
  } else if ((b & 0xE0) == 0xC0) {
    n = 2, *cp = b & 0x1F, min = 0x80;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3, *cp = b & 0x0F, min = 0x800;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4, *cp = b & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + n > bytes.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((bytes[i + k] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (bytes[i + k] & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return n;
}

// One character of the path in GBK, and whether it separates segments.
struct Char {
  std::string gbk;
  bool separator = false;
};

Char FromUnit(char32_t cp) {
  Char c;
  if (cp < 0x80) {
    c.gbk.assign(1, static_cast<char>(cp));
    c.separator = cp == '/' || cp == '\\';
  } else {
    c.gbk = cp <= 0xFFFF ? BestFit936(static_cast<std::uint16_t>(cp)) : std::string("?");
  }
  return c;
}

// The characters of a run of decoded bytes: as UTF-8 when the whole run is
// valid UTF-8, else as GBK bytes (a valid pair is one character).
void AppendByteRun(const std::vector<unsigned char>& run, bool as_utf8, std::vector<Char>* out) {
  std::size_t i = 0;
  while (i < run.size()) {
    if (as_utf8) {
      char32_t cp = 0;
      const std::size_t n = DecodeUtf8(run, i, &cp);
      out->push_back(FromUnit(cp));
      i += n;
      continue;
    }
    const std::string_view view(reinterpret_cast<const char*>(run.data()), run.size());
    if (IsGbkPair(view, i)) {
      out->push_back({std::string(view.substr(i, 2)), false});
      i += 2;
    } else {
      out->push_back(FromUnit(run[i] < 0x80 ? run[i] : 0));
      if (run[i] >= 0x80) out->back().gbk.assign(1, static_cast<char>(run[i]));
      ++i;
    }
  }
}

// Most paths are plain ASCII with nothing to decode, no '\\' and no "." or
// ".." segment; such a path is its own canonical form, and the work below
// (per-character pieces, the UTF-8 test, segments) can be skipped.
bool AlreadyCanonical(std::string_view raw_path) {
  using namespace blocks;
  if (AnyByte(
          raw_path,
          [](std::uint64_t x) { return (x & kHighs) | AnyEqual(x, '%') | AnyEqual(x, '\\'); },
          [](unsigned char c) { return c >= 0x80 || c == '%' || c == '\\'; })) {
    return false;
  }
  // A "." or ".." segment starts with a dot; most paths hold one dot or two.
  const std::size_t n = raw_path.size();
  for (std::size_t dot = raw_path.find('.'); dot != std::string_view::npos;
       dot = raw_path.find('.', dot + 1)) {
    if (dot != 0 && raw_path[dot - 1] != '/') continue;
    std::size_t end = dot + 1;
    if (end < n && raw_path[end] == '.') ++end;
    if (end == n || raw_path[end] == '/') return false;
  }
  return true;
}

}  // namespace

std::string CanonicalUrlPath(std::string_view raw_path) {
  if (AlreadyCanonical(raw_path)) return std::string(raw_path);
  std::vector<Piece> pieces;
  pieces.reserve(raw_path.size());
  for (std::size_t i = 0; i < raw_path.size();) {
    long v;
    if (raw_path[i] == '%' && i + 1 < raw_path.size() &&
        (raw_path[i + 1] == 'u' || raw_path[i + 1] == 'U') &&
        (v = HexNumberAt(raw_path, i + 2, 4)) >= 0) {
      pieces.push_back({static_cast<std::uint16_t>(v), true});
      i += 6;
    } else if (raw_path[i] == '%' && (v = HexNumberAt(raw_path, i + 1, 2)) >= 0) {
      pieces.push_back({static_cast<std::uint16_t>(v), false});
      i += 3;
    } else {
      pieces.push_back({static_cast<unsigned char>(raw_path[i]), false});
      ++i;
    }
  }

  // Browsers send UTF-8; a path whose bytes are not valid UTF-8 is read in
  // the server's ANSI code page instead. A "%uXXXX" unit ends a run of bytes,
  // so a UTF-8 sequence it splits is not valid.
  bool as_utf8 = true;
  std::vector<unsigned char> run_bytes;
  const auto run_is_utf8 = [&run_bytes] {
    for (std::size_t i = 0; i < run_bytes.size();) {
      char32_t cp;
      const std::size_t n = DecodeUtf8(run_bytes, i, &cp);
      if (n == 0) return false;
      i += n;
    }
    return true;
  };
  for (const Piece& p : pieces) {
    if (!p.unit) {
      run_bytes.push_back(static_cast<unsigned char>(p.value));
    } else {
      as_utf8 = as_utf8 && run_is_utf8();
      run_bytes.clear();
    }
  }
  as_utf8 = as_utf8 && run_is_utf8();

  std::vector<Char> chars;
  std::vector<unsigned char> run;
  for (const Piece& p : pieces) {
    if (!p.unit) {
      run.push_back(static_cast<unsigned char>(p.value));
      continue;
    }
    AppendByteRun(run, as_utf8, &chars);
    run.clear();
    if (p.value != 0) chars.push_back(FromUnit(p.value));
  }
  AppendByteRun(run, as_utf8, &chars);

  // Segments, with "." dropped and ".." taking back the one before it.
  std::vector<std::string> segments;
  std::string current;
  bool rooted = !chars.empty() && chars.front().separator;
  auto close_segment = [&](bool last) {
    if (current == ".") {
      if (last) segments.emplace_back();
    } else if (current == "..") {
      if (!segments.empty()) segments.pop_back();
      if (last) segments.emplace_back();
    } else {
      segments.push_back(current);
    }
    current.clear();
  };
  for (std::size_t i = rooted ? 1 : 0; i < chars.size(); ++i) {
    if (chars[i].separator) {
      close_segment(false);
    } else {
      current += chars[i].gbk;
    }
  }
  close_segment(true);

  std::string out = rooted ? "/" : "";
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '/';
    out += segments[i];
  }
  return out;
}

std::string_view CanonicalUrlPath(std::string_view raw_path, std::string* storage) {
  if (AlreadyCanonical(raw_path)) return raw_path;
  *storage = CanonicalUrlPath(raw_path);
  return *storage;
}

}  // namespace zelk::filter
