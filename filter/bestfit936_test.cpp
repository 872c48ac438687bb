#include "filter/bestfit936.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/codepage.h"

namespace zelk::filter {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buffer[4];
  for (const char c : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned char>(c));
    out += buffer;
  }
  return out;
}

TEST(BestFit936, GivesWindowsBytesForKnownUnits) {
  const struct {
    std::uint16_t unit;
    std::string bytes;
  } cases[] = {
      {0x0000, std::string(1, '\0')},
      {0x0027, "'"},
      {0x003F, "?"},
      {0x007F, "\x7F"},
      {0x0080, "?"},  // 0x80 belongs to the euro sign, not to U+0080
      {0x00AD, "-"},  // best fit: soft hyphen
      {0x00B2, "2"},  // best fit: superscript two
      {0x00BA, "o"},  // best fit: masculine ordinal
      {0x00B7, "\xA1\xA4"},
      {0x00A5, "\xA3\xA4"},  // best fit: yen sign as the fullwidth one
      {0x20AC, "\x80"},
      {0x3000, "\xA1\xA1"},
      {0x4E2D, "\xD6\xD0"},
      {0x4E02, "\x81\x40"},  // first code of the GBK extension
      {0x9FA5, "\xFD\x9B"},
      {0x8C48, "\xD8\x4D"},
      {0xF900, "\xD8\x4D"},  // best fit: compatibility ideograph as U+8C48
      {0xE000, "\xAA\xA1"},  // private use: the user-defined area
      {0xF8F5, "\xFF"},
      {0xFF07, "\xA3\xA7"},  // fullwidth apostrophe stays fullwidth
      {0xFF1C, "\xA3\xBC"},
      {0xD800, "?"},  // lone surrogates
      {0xDBFF, "?"},
      {0xDC00, "?"},
      {0xDFFF, "?"},
      {0x00FE, "t"},  // best fit: small thorn
      {0x0E01, "?"},  // Thai: nothing in code page 936
      {0xFFFF, "?"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(BestFit936(c.unit)), Hex(c.bytes)) << "U+" << std::hex << c.unit;
  }
  for (std::uint16_t unit = 1; unit < 0x80; ++unit) {
    EXPECT_EQ(BestFit936(unit), std::string(1, static_cast<char>(unit)))
        << "U+" << std::hex << unit;
  }
}

// Every result is one byte or a well-formed GBK pair, and the count of units
// with a mapping is the generator's: a lost or shifted page shows here.
TEST(BestFit936, TableHoldsWellFormedGbkForTheGeneratedNumberOfUnits) {
  int mapped = 0;
  int malformed = 0;
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    const std::string bytes = BestFit936(static_cast<std::uint16_t>(u));
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const auto trail = bytes.size() == 2 ? static_cast<unsigned char>(bytes[1]) : 0u;
    const bool single = bytes.size() == 1 && lead != 0 && (lead <= 0x80 || lead == 0xFF);
    const bool pair = bytes.size() == 2 && lead >= 0x81 && lead <= 0xFE && trail >= 0x40 &&
                      trail <= 0xFE && trail != 0x7F;
    if (!single && !pair) {
      ++malformed;
      ADD_FAILURE() << "U+" << std::hex << u << " gives " << Hex(bytes);
    }
    if (bytes != "?") ++mapped;
  }
  EXPECT_EQ(malformed, 0);
  EXPECT_EQ(mapped, 24480);
}

// An independent check of the whole table: wherever the system's converter
// (iconv's CP936 on Linux) maps a unit, the table has the same bytes. Best
// fit and the private-use area are what the table adds.
TEST(BestFit936, AgreesWithTheSystemConverterWhereThatMapsAUnit) {
  int compared = 0;
  int differ = 0;
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    const auto unit = static_cast<std::uint16_t>(u);
    const std::string system = platform::Utf16UnitToGbk(unit);
    if (system == "?") continue;
    ++compared;
    if (BestFit936(unit) != system) {
      if (++differ <= 20) {
        ADD_FAILURE() << "U+" << std::hex << u << ": table " << Hex(BestFit936(unit)) << ", system "
                      << Hex(system);
      }
    }
  }
  EXPECT_EQ(differ, 0);
  EXPECT_GT(compared, 21000);  // GBK's own characters, at least
}

}  // namespace
}  // namespace zelk::filter
