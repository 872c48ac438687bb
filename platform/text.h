// Byte-string helpers shared by every layer. Texts are GBK (code page 936):
// a byte from 0x81 to 0xFE starts a two-byte character whose second byte
// (0x40..0xFE) may look like ASCII ("\" is 0x5C), so scans that look for ASCII
// separators must step over whole characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// Index of the last byte of text that is one of the separators and is not the
// second byte of a two-byte GBK character; npos when there is none.
inline std::size_t FindLastGbkSeparator(std::string_view text, std::string_view separators) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsGbkPair(text, i)) {
      ++i;  // the trail byte is part of the character, never a separator
      continue;
    }
    if (separators.find(text[i]) != std::string_view::npos) found = i;
  }
  return found;
}

}  // namespace zelk
