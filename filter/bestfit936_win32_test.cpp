// The table against the live conversion of the system it was made from.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "filter/bestfit936.h"

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

TEST(BestFit936, MatchesWideCharToMultiByteForEveryUnit) {
  int differ = 0;
  for (unsigned u = 0; u <= 0xFFFF; ++u) {
    const wchar_t unit = static_cast<wchar_t>(u);
    char buffer[8];
    const int n = WideCharToMultiByte(936, 0, &unit, 1, buffer, sizeof buffer, nullptr, nullptr);
    ASSERT_GT(n, 0) << "WideCharToMultiByte failed (" << GetLastError() << ") for U+" << std::hex
                    << u;
    const std::string live(buffer, static_cast<std::size_t>(n));
    const std::string table = BestFit936(static_cast<std::uint16_t>(u));
    if (table != live && ++differ <= 20) {
      ADD_FAILURE() << "U+" << std::hex << u << ": table " << Hex(table) << ", WideCharToMultiByte "
                    << Hex(live);
    }
  }
  EXPECT_EQ(differ, 0) << "code units that differ";
}

}  // namespace
}  // namespace zelk::filter
