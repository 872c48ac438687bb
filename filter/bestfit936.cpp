#include "filter/bestfit936.h"

namespace zelk::filter {
namespace {
// kBestFitPageOf and kBestFitPages, made by scripts/gen-bestfit936.sh.
#include "filter/bestfit936_table.inc"
}  // namespace

std::string BestFit936(std::uint16_t unit) {
  // Unit 0 is left out of the table (code 0 there means "?"); Windows gives
  // it back as one NUL byte.
  if (unit == 0) return std::string(1, '\0');
  const unsigned page = kBestFitPageOf[unit >> 8];
  const std::uint16_t code = page == 0 ? 0 : kBestFitPages[page - 1][unit & 0xFF];
  if (code == 0) return "?";
  if (code < 0x100) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

}  // namespace zelk::filter
