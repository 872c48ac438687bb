// The back-door scanner of uploaded files: its verdict depends only on the
// bytes, never on how they were split across Feed calls, and once it has found
// code more bytes never take the finding back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/backdoor.h"
#include "fuzz/check.h"

using namespace zelk::filter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view file = zelk::fuzz::AsText(data, size);

  BackdoorScanner whole;
  whole.Feed(file);
  const bool found = whole.found();

  BackdoorScanner pieces;
  std::uint32_t seed = static_cast<std::uint32_t>(size) + 7;
  bool seen = false;
  for (std::size_t at = 0; at < file.size();) {
    seed = seed * 1103515245u + 12345u;
    const std::size_t piece = 1 + (seed >> 16) % 301;
    pieces.Feed(file.substr(at, piece));
    at += piece;
    if ((seed & 0x700) == 0) {
      const bool now = pieces.found();
      FUZZ_CHECK(now || !seen);
      seen = now;
    }
  }
  FUZZ_CHECK(pieces.found() == found);
  FUZZ_CHECK(!seen || found);

  // The same bytes far into a large file: blocks start at fixed offsets, so
  // a shape the scanner saw at the start may only be missed past a block
  // edge, never invented.
  if (!found && size < 4096) {
    BackdoorScanner shifted;
    shifted.Feed(std::string(1000, '\0'));
    shifted.Feed(file);
    FUZZ_CHECK(!shifted.found());
  }
  return 0;
}
