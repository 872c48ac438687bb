#include "manager/common/text_fields.h"

#include <optional>

#include "platform/text.h"

namespace zelk::manager {
namespace {

// Length in bytes of the character starting at i.
std::size_t CharLength(std::string_view s, std::size_t i) {
  return IsGbkLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// The longest prefix of s of at most budget bytes that ends on a character
// boundary.
std::string_view WholeCharPrefix(std::string_view s, std::size_t budget) {
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t n = CharLength(s, i);
    if (i + n > budget) break;
    i += n;
  }
  return s.substr(0, i);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsMaskBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

std::string GetDelimitedField(std::string_view text, std::string_view delimiter, int n) {
  if (n < 1) return std::string();
  if (delimiter.empty()) return n == 1 ? std::string(text) : std::string();
  int field = 1;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, delimiter.size(), delimiter) == 0) {
      if (field == n) return std::string(text.substr(start, i - start));
      ++field;
      i += delimiter.size();
      start = i;
      continue;
    }
    i += CharLength(text, i);
  }
  return field == n ? std::string(text.substr(start)) : std::string();
}

std::vector<std::string> SplitMaskList(std::string_view text) {
  std::vector<std::string> masks;
  std::size_t p = 0;
  const auto skip_blanks = [&] {
    while (p < text.size() && IsMaskBlank(text[p])) ++p;
  };
  skip_blanks();
  while (p < text.size()) {
    std::string mask;
    if (text[p] == '"') {
      ++p;
      while (p < text.size()) {
        if (text[p] == '"') {
          if (p + 1 < text.size() && text[p + 1] == '"') {
            mask += '"';
            p += 2;
            continue;
          }
          ++p;  // the closing quote
          break;
        }
        const std::size_t n = CharLength(text, p);
        mask.append(text.substr(p, n));
        p += n;
      }
    } else {
      const std::size_t start = p;
      // Bytes of two-byte characters are all above 32 and never a comma, so
      // stepping byte by byte cannot end a mask inside a character.
      while (p < text.size() && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      mask.assign(text.substr(start, p - start));
    }
    masks.push_back(std::move(mask));
    skip_blanks();
    if (p < text.size() && text[p] == ',') {
      if (p + 1 == text.size()) masks.emplace_back();  // a comma that ends the text
      ++p;
      skip_blanks();
    }
  }
  return masks;
}

bool MatchWildcard(std::string_view mask_in, std::string_view text_in) {
  std::string mask(mask_in), text(text_in);
  for (char& c : mask) c = AsciiUpper(c);
  for (char& c : text) c = AsciiUpper(c);
  std::size_t p = 0, s = 0;
  std::optional<std::size_t> mask_point, text_point;
  bool star = false;
  for (;;) {
    if (!star) {  // exact phase
      if (p == mask.size()) {
        if (s == text.size()) return true;
        if (!mask_point || !text_point) return false;
        s = *text_point;
        p = *mask_point;
        star = true;
      } else if (mask[p] == '*') {
        mask_point = ++p;
        star = true;
      } else if (mask[p] == '?') {
        if (s == text.size()) return false;
        ++s;
        ++p;
      } else {
        if (s == text.size()) return false;
        if (text[s] == mask[p]) {
          ++s;
          ++p;
        } else {
          if (!mask_point || !text_point) return false;
          s = *text_point;
          p = *mask_point;
          star = true;
        }
      }
    } else {  // star phase
      if (p == mask.size()) return true;
      if (mask[p] == '*') {
        mask_point = ++p;
      } else if (mask[p] == '?') {
        if (s == text.size()) return false;
        ++s;
        ++p;
      } else {
        while (s < text.size() && text[s] != mask[p]) ++s;
        if (s == text.size()) return false;
        text_point = ++s;
        ++p;
        star = false;
      }
    }
  }
}

bool MatchesAnyMask(const std::vector<std::string>& masks, std::string_view text) {
  for (const std::string& m : masks) {
    if (!m.empty() && MatchWildcard(m, text)) return true;
  }
  return false;
}

std::string CompactPathForLabel(std::string_view path, std::size_t max_chars) {
  const std::size_t limit = max_chars == 0 ? 0 : max_chars - 1;
  if (path.size() <= limit) return std::string(path);
  static constexpr std::string_view kEllipsis = "...";
  if (limit < kEllipsis.size()) return std::string(kEllipsis.substr(0, limit));
  const std::size_t sep = FindLastGbkSeparator(path, "\\/");
  if (sep != std::string_view::npos) {
    const std::string_view tail = path.substr(sep);  // separator and name
    if (kEllipsis.size() + tail.size() <= limit) {
      const std::string_view head =
          WholeCharPrefix(path.substr(0, sep), limit - kEllipsis.size() - tail.size());
      return std::string(head) + std::string(kEllipsis) + std::string(tail);
    }
  }
  const std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
  return std::string(WholeCharPrefix(name, limit - kEllipsis.size())) + std::string(kEllipsis);
}

std::string CollapseDoubledSeparators(std::string_view path, char separator) {
  std::string out;
  out.reserve(path.size());
  std::size_t i = 0;
  while (i < path.size()) {
    if (path[i] == separator && i + 1 < path.size() && path[i + 1] == separator) {
      out += separator;
      i += 2;
      continue;
    }
    const std::size_t n = CharLength(path, i);
    out.append(path.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace zelk::manager
