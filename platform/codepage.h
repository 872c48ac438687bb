// Conversions between the system's ANSI code page (GBK, code page 936) and
// Unicode. Windows uses WideCharToMultiByte / MultiByteToWideChar with code
// page 936; other systems use iconv's "CP936" (which, like Windows, maps 0x80
// to the euro sign). Characters without a mapping become '?'.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelk::platform {

// One UTF-16 code unit to GBK (one or two bytes, "?" when unmapped).
std::string Utf16UnitToGbk(std::uint16_t unit);

std::string Utf16ToGbk(std::u16string_view text);
std::u16string GbkToUtf16(std::string_view text);
std::string GbkToUtf8(std::string_view text);
std::string Utf8ToGbk(std::string_view text);

// Text for people: GBK converted to what the terminal or console shows.
// On a UTF-8 locale (the usual Linux terminal) that is UTF-8; elsewhere the
// GBK bytes are kept.
std::string ForTerminal(std::string_view gbk);
// The other way round: a command-line argument typed in the terminal, as GBK.
std::string FromTerminal(std::string_view text);

}  // namespace zelk::platform
