#include <windows.h>

#include "platform/codepage.h"

namespace zelk::platform {
namespace {

// Code page 936 is named explicitly rather than taken from CP_ACP, so the
// conversions do not depend on the machine's regional settings.
constexpr UINT kGbk = 936;

std::string WideToMultiByte(UINT code_page, const wchar_t* text, int length) {
  if (length == 0) return std::string();
  // UTF-8 takes no default character.
  const char* default_char = code_page == CP_UTF8 ? nullptr : "?";
  const int needed =
      WideCharToMultiByte(code_page, 0, text, length, nullptr, 0, default_char, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(code_page, 0, text, length, out.data(), needed, default_char, nullptr);
  return out;
}

// Strict conversion of a whole text; false when any byte sequence has no
// mapping.
bool StrictToWide(UINT code_page, std::string_view text, std::wstring* out) {
  if (text.empty()) {
    out->clear();
    return true;
  }
  const int n = static_cast<int>(text.size());
  const int needed =
      MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
  if (needed <= 0) return false;
  out->assign(static_cast<std::size_t>(needed), L'\0');
  return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), n, out->data(),
                             needed) == needed;
}

// GBK to UTF-16 where every unmapped byte becomes '?', as iconv is used on
// the other systems. Windows itself would turn some of them into private-use
// characters (0xFF into U+F8F5) or swallow the byte after a bad lead byte.
std::wstring GbkToWide(std::string_view text) {
  std::wstring out;
  if (StrictToWide(kGbk, text, &out)) return out;
  out.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out.push_back(static_cast<wchar_t>(c));
      ++i;
      continue;
    }
    std::wstring one;
    if (c >= 0x81 && c <= 0xFE && i + 1 < text.size() &&
        StrictToWide(kGbk, text.substr(i, 2), &one)) {
      out += one;
      i += 2;
    } else if (StrictToWide(kGbk, text.substr(i, 1), &one)) {
      out += one;  // 0x80, the euro sign
      ++i;
    } else {
      out.push_back(L'?');
      ++i;
    }
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int n = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), n, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), n, out.data(), needed);
  return out;
}

}  // namespace

std::string Utf16UnitToGbk(std::uint16_t unit) {
  if (unit == 0) return std::string(1, '\0');
  const wchar_t w = static_cast<wchar_t>(unit);
  std::string out = WideToMultiByte(kGbk, &w, 1);
  return out.empty() ? std::string("?") : out;
}

std::string Utf16ToGbk(std::u16string_view text) {
  // wchar_t is UTF-16 on Windows.
  return WideToMultiByte(kGbk, reinterpret_cast<const wchar_t*>(text.data()),
                         static_cast<int>(text.size()));
}

std::u16string GbkToUtf16(std::string_view text) {
  const std::wstring w = GbkToWide(text);
  return std::u16string(reinterpret_cast<const char16_t*>(w.data()), w.size());
}

std::string GbkToUtf8(std::string_view text) {
  const std::wstring w = GbkToWide(text);
  return WideToMultiByte(CP_UTF8, w.data(), static_cast<int>(w.size()));
}

std::string Utf8ToGbk(std::string_view text) {
  const std::wstring w = Utf8ToWide(text);
  return WideToMultiByte(kGbk, w.data(), static_cast<int>(w.size()));
}

// The console of a Chinese Windows system shows GBK, and the command-line
// arguments arrive in the ANSI code page: the bytes are kept as they are.
std::string ForTerminal(std::string_view gbk) { return std::string(gbk); }

std::string FromTerminal(std::string_view text) { return std::string(text); }

}  // namespace zelk::platform
