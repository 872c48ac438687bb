// Byte-string helpers shared by every layer. Texts are GBK (code page 936):
// a byte from 0x81 to 0xFE starts a two-byte character whose second byte
// (0x40..0xFE) may look like ASCII ("\" is 0x5C), so scans that look for ASCII
// separators must step over whole characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelk {

inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// True when text[i] and text[i + 1] form one two-byte GBK character. A lead
// byte followed by a byte that cannot end a character stands alone, so the
// byte after it is read for itself ("%D5%27" keeps its quote).
inline bool IsGbkPair(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && IsGbkLeadByte(static_cast<unsigned char>(text[i])) &&
         IsGbkTrailByte(static_cast<unsigned char>(text[i + 1]));
}

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

inline bool StartsWithIgnoreAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

inline bool EndsWithIgnoreAsciiCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

inline std::string ToAsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// True when needle occurs in haystack, comparing ASCII letters without case.
inline bool ContainsIgnoreAsciiCase(std::string_view haystack, std::string_view needle) {
  if (needle.size() > haystack.size()) return false;
  for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
    if (EqualsIgnoreAsciiCase(haystack.substr(i, needle.size()), needle)) return true;
  }
  return false;
}

// Index of the last byte of text that is one of the (ASCII) separators and is not the
// second byte of a two-byte GBK character; npos when there is none.
inline std::size_t FindLastGbkSeparator(std::string_view text, std::string_view separators) {
  // The separators are ASCII: a byte of 0x80 or more is never one, and only
  // such a byte can start a pair.
  std::uint64_t low = 0, high = 0;  // bit c (0-63) and bit c-64 (64-127): c is a separator
  for (char s : separators) {
    const auto c = static_cast<unsigned char>(s);
    if (c < 64)
      low |= std::uint64_t{1} << c;
    else if (c < 128)
      high |= std::uint64_t{1} << (c - 64);
  }
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 64) {
      if ((low >> c) & 1) found = i;
    } else if (c < 128) {
      if ((high >> (c - 64)) & 1) found = i;
    } else if (IsGbkPair(text, i)) {
      ++i;  // the trail byte is part of the character, never a separator
    }
  }
  return found;
}

inline bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The value of a hexadecimal digit (0-9, a-f, A-F); -1 for any other byte.
constexpr int HexDigitValue(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}

// The value of exactly `digits` hex digits at text[pos...]; -1 when fewer
// bytes are left or one of them is not a hex digit. For escapes ("%XX",
// "%uXXXX", "\\uXXXX"), so digits stays small.
constexpr long HexNumberAt(std::string_view text, std::size_t pos, std::size_t digits) {
  if (pos > text.size() || text.size() - pos < digits) return -1;
  long value = 0;
  for (std::size_t i = pos; i < pos + digits; ++i) {
    const int d = HexDigitValue(text[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

// The text without the bytes for which drop(c) holds at either end. Every
// byte of a two-byte GBK character is 0x40 or above, so a drop that accepts
// only ASCII never cuts a character in two.
template <typename Drop>
std::string_view TrimWhere(std::string_view text, Drop drop) {
  while (!text.empty() && drop(text.front())) text.remove_prefix(1);
  while (!text.empty() && drop(text.back())) text.remove_suffix(1);
  return text;
}

// Spaces and tabs dropped at both ends.
inline std::string_view TrimBlanks(std::string_view text) {
  return TrimWhere(text, [](char c) { return c == ' ' || c == '\t'; });
}

// Blanks and control characters (codes 1 to 32) dropped at both ends.
inline std::string_view TrimBlanksAndControls(std::string_view text) {
  return TrimWhere(text, [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
  });
}

// One line of a text and the line end that followed it.
struct TextLine {
  std::string_view text;
  std::string_view end;  // "\r\n", "\n", "\r", or "" for a last line without one
};

// The lines of a text: CR LF, LF and a lone CR each end a line; a last line
// without an end still counts; an empty text has no lines. The views point
// into text.
std::vector<TextLine> SplitLinesKeepingEnds(std::string_view text);

// The same lines without their ends, each kept exactly as written.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace zelk
