// How a value of the SQL-injection tuning corpus reaches the patterns: put
// into a query string or a Cookie header as a client sends it, decoded once
// by DecodeQueryText, and matched. Shared by the corpus test and the
// pattern-report tool so that both measure the same thing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "filter/decode.h"

namespace zelk::filter::corpus {

inline bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

inline std::vector<std::string> SplitLines(const std::string& data) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    lines.emplace_back(data, start, end - start);
    start = end + 1;
  }
  return lines;
}

// The hold-out share: about one line in five, chosen by a hash of the line's
// bytes (FNV-1a), so the choice does not depend on the line's position.
// Patterns are tuned on the other lines only; the hold-out shows how they
// fare on lines nobody looked at.
inline bool InHoldOut(std::string_view line) {
  std::uint32_t h = 2166136261u;
  for (unsigned char c : line) h = (h ^ c) * 16777619u;
  return h % 5 == 0;
}

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

inline bool IsAsciiLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }

// How the bytes of a value are written on the wire.
enum class Encoding {
  kBrowser,        // as a browser encodes a form field
  kPercentLetter,  // the same with a stray '%' before every letter ("%u%n%i%o%n")
  kUnicode,        // every ASCII byte as "%u00XX"
};

// Encodes a corpus value. The "%XX" control-byte escapes the corpus keeps (a
// raw line break or NUL cannot sit on one line) stay escapes, so that the
// decoder turns them into the bytes an attacker would have sent.
inline std::string Encode(std::string_view value, Encoding how = Encoding::kBrowser) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  auto escape = [&](unsigned char c) {
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  };
  for (std::size_t i = 0; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (c == '%' && i + 2 < value.size()) {
      const int hi = HexDigit(value[i + 1]);
      const int lo = HexDigit(value[i + 2]);
      if (hi >= 0 && lo >= 0) {
        const int byte = hi * 16 + lo;
        if (byte <= 0x08 || (byte >= 0x0A && byte <= 0x1F) || byte == 0x7F) {
          out.append(value.substr(i, 3));
          i += 2;
          continue;
        }
      }
    }
    if (how == Encoding::kUnicode && c < 0x80) {
      out += "%u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
      continue;
    }
    const bool plain =
        IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (!plain) {
      escape(c);
      continue;
    }
    if (how == Encoding::kPercentLetter && IsAsciiLetter(c)) {
      out.push_back('%');
      out.push_back(static_cast<char>(c));
      // "%a1" would decode as one byte: the digit after a hex letter is
      // written as an escape so the value stays what it was.
      if (HexDigit(static_cast<char>(c)) >= 0 && i + 1 < value.size() &&
          HexDigit(value[i + 1]) >= 0 && !IsAsciiLetter(static_cast<unsigned char>(value[i + 1]))) {
        escape(static_cast<unsigned char>(value[++i]));
      }
      continue;
    }
    out.push_back(static_cast<char>(c));
  }
  return out;
}

// The decoded query string and cookie the filter matches for one value.
inline std::string AsQuery(std::string_view value, Encoding how = Encoding::kBrowser) {
  return DecodeQueryText("q=" + Encode(value, how));
}
inline std::string AsCookie(std::string_view value, Encoding how = Encoding::kBrowser) {
  return DecodeQueryText("ASPSESSIONIDQQ=ABCDEF; q=" + Encode(value, how));
}

// A value's shape, for counting which kinds of value a pattern misses or
// blocks: SQL words kept in lower case, other words written "w", numbers "9",
// runs of spaces and tabs one space, non-ASCII bytes "~"; punctuation kept.
inline std::string Shape(std::string_view value) {
  static const char* const kKeep[] = {
      "select", "union", "from",    "where",   "and",     "or",      "xor",       "not",
      "like",   "rlike", "regexp",  "sleep",   "if",      "case",    "when",      "then",
      "else",   "end",   "order",   "by",      "group",   "having",  "insert",    "update",
      "delete", "drop",  "exec",    "declare", "waitfor", "delay",   "benchmark", "null",
      "is",     "in",    "between", "as",      "char",    "ascii",   "substr",    "substring",
      "mid",    "ord",   "concat",  "cast",    "convert", "call",    "procedure", "limit",
      "top",    "all",   "into",    "values",  "table",   "database"};
  std::string out;
  std::size_t i = 0;
  while (i < value.size()) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    if (IsAsciiLetter(c) || c == '_') {
      std::size_t j = i;
      std::string word;
      while (j < value.size() && (IsAsciiLetter(static_cast<unsigned char>(value[j])) ||
                                  value[j] == '_' || (value[j] >= '0' && value[j] <= '9'))) {
        word.push_back(static_cast<char>(value[j] | 0x20));
        ++j;
      }
      bool keep = false;
      for (const char* k : kKeep) keep = keep || word == k;
      out += keep ? word : "w";
      i = j;
    } else if (c >= '0' && c <= '9') {
      while (i < value.size() && value[i] >= '0' && value[i] <= '9') ++i;
      out.push_back('9');
    } else if (c == ' ' || c == '\t') {
      while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
      out.push_back(' ');
    } else if (c >= 0x80) {
      while (i < value.size() && static_cast<unsigned char>(value[i]) >= 0x80) ++i;
      if (out.empty() || out.back() != '~') out.push_back('~');
    } else {
      out.push_back(static_cast<char>(c));
      ++i;
    }
  }
  return out;
}

}  // namespace zelk::filter::corpus
