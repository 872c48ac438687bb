#include <iconv.h>
#include <langinfo.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <mutex>

#include "platform/codepage.h"

namespace zelk::platform {
namespace {

// Converts with iconv; an input sequence without a mapping becomes '?'
// (one '?' per unconvertible unit of unit_size bytes).
std::string Convert(const char* to, const char* from, std::string_view in, std::size_t unit_size) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2 + 8);
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  std::array<char, 1024> chunk;
  while (src_left > 0) {
    char* dst = chunk.data();
    std::size_t dst_left = chunk.size();
    const std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(chunk.data(), chunk.size() - dst_left);
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: replace one unit and go on.
      out.push_back('?');
      const std::size_t skip = std::min(unit_size, src_left);
      src += skip;
      src_left -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf16UnitToGbk(std::uint16_t unit) {
  // A table of all 65,536 code units, built once, keeps the per-request %u
  // decoding free of iconv set-up costs.
  static std::array<std::array<char, 2>, 65536>* table = [] {
    auto* t = new std::array<std::array<char, 2>, 65536>();
    iconv_t cd = iconv_open("CP936", "UTF-16LE");
    for (std::uint32_t u = 0; u < 65536; ++u) {
      char in[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
      char out[8] = {};
      char* src = in;
      char* dst = out;
      std::size_t src_left = 2, dst_left = sizeof out;
      std::size_t rc = cd == reinterpret_cast<iconv_t>(-1)
                           ? static_cast<std::size_t>(-1)
                           : iconv(cd, &src, &src_left, &dst, &dst_left);
      const std::size_t n = sizeof out - dst_left;
      if (rc == static_cast<std::size_t>(-1) || n == 0 || n > 2) {
        (*t)[u] = {'?', 0};
      } else {
        (*t)[u] = {out[0], n == 2 ? out[1] : '\0'};
      }
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    return t;
  }();
  const auto& e = (*table)[unit];
  if (unit == 0) return std::string(1, '\0');
  return e[1] == '\0' ? std::string(1, e[0]) : std::string(e.data(), 2);
}

std::string Utf16ToGbk(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += Utf16UnitToGbk(static_cast<std::uint16_t>(c));
  return out;
}

std::u16string GbkToUtf16(std::string_view text) {
  const std::string bytes = Convert("UTF-16LE", "CP936", text, 1);
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string GbkToUtf8(std::string_view text) { return Convert("UTF-8", "CP936", text, 1); }

std::string Utf8ToGbk(std::string_view text) { return Convert("CP936", "UTF-8", text, 1); }

namespace {
bool TerminalIsUtf8() {
  static const bool utf8 = [] {
    std::setlocale(LC_CTYPE, "");
    const char* cs = nl_langinfo(CODESET);
    return cs != nullptr && (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0);
  }();
  return utf8;
}
}  // namespace

std::string ForTerminal(std::string_view gbk) {
  return TerminalIsUtf8() ? GbkToUtf8(gbk) : std::string(gbk);
}

std::string FromTerminal(std::string_view text) {
  return TerminalIsUtf8() ? Utf8ToGbk(text) : std::string(text);
}

}  // namespace zelk::platform
