#include "filter/decode.h"

#include "platform/codepage.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads up to max_digits hex digits at text[pos...]; returns the value, or
// -1 when any of the bytes read is not a hex digit. *consumed is the count of
// bytes read either way.
long ReadHex(std::string_view text, std::size_t pos, std::size_t max_digits,
             std::size_t* consumed) {
  const std::size_t n = std::min(max_digits, text.size() - pos);
  *consumed = n;
  long value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int d = HexValue(text[pos + i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

std::string DecodeQueryText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
      ++i;
    } else if (c != '%') {
      out.push_back(c);
      ++i;
    } else if (i + 1 < text.size() && text[i + 1] == 'u') {
      std::size_t consumed = 0;
      const long value = ReadHex(text, i + 2, 4, &consumed);
      if (value >= 1 && value <= 0xFFFF) {
        out += platform::Utf16UnitToGbk(static_cast<std::uint16_t>(value));
      }
      i += 2 + consumed;
    } else {
      std::size_t consumed = 0;
      const long value = ReadHex(text, i + 1, 2, &consumed);
      if (value >= 1 && value <= 255) out.push_back(static_cast<char>(value));
      i += 1 + consumed;
    }
  }
  return out;
}

std::string ExtractUrlExt(std::string_view path) {
  const std::size_t pos = FindLastGbkSeparator(path, ".\\:");
  if (pos == std::string_view::npos || path[pos] != '.') return std::string();
  return std::string(path.substr(pos + 1));
}

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

}  // namespace zelk::filter
