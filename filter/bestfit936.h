// One UTF-16 code unit as Windows converts it to code page 936 (GBK) with
// WideCharToMultiByte(936, 0, ...): best fit included, so U+00BA becomes "o"
// and U+F900 (a compatibility ideograph) the GBK bytes of U+8C48. The ASP
// pages behind the filter decode "%uXXXX" this way; a fixed table makes the
// verdict the same on every platform, whatever the system's converter does.
#pragma once

#include <cstdint>
#include <string>

namespace zelk::filter {

// One or two bytes, exactly as WideCharToMultiByte gives them; "?" (the code
// page's default character) for a unit without a mapping, lone surrogates
// included; a single NUL byte for unit 0. Thread-safe: reads a constant table.
std::string BestFit936(std::uint16_t unit);

}  // namespace zelk::filter
