// What every fuzz target uses: a property check that stays on in release
// builds (it never depends on NDEBUG) and names the property that failed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (false)

namespace zelk::fuzz {

inline std::string_view AsText(const unsigned char* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Splits the input at the first occurrence of `mark`: the fuzzer learns to use
// it to feed two texts to one target. Without the mark, all is `first`.
inline void SplitAt(std::string_view all, std::string_view mark, std::string_view* first,
                    std::string_view* second) {
  const std::size_t at = all.find(mark);
  if (at == std::string_view::npos) {
    *first = all;
    *second = {};
  } else {
    *first = all.substr(0, at);
    *second = all.substr(at + mark.size());
  }
}

}  // namespace zelk::fuzz
