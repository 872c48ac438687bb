// Eight bytes at a time: tests whether a block of eight holds any byte of a
// kind, so that the long ordinary runs of a value (letters, digits, plain
// punctuation) are passed at a few instructions per block instead of a
// table look-up per byte. Every test answers "some byte may be of the kind";
// the caller then reads that block byte by byte, so a test only has to be
// exact about blocks that hold no such byte. Byte order does not matter.
#pragma once

#include <cstdint>
#include <cstring>

namespace zelk::filter::blocks {

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

inline std::uint64_t Load(const unsigned char* p) {
  std::uint64_t x;
  std::memcpy(&x, p, sizeof x);
  return x;
}

// Non-zero when some byte is below n (n at most 0x80).
constexpr std::uint64_t AnyBelow(std::uint64_t x, unsigned n) {
  return (x - kOnes * n) & ~x & kHighs;
}

// Non-zero when some byte is above n (n at most 0x7F); bytes from 0x80 up
// count as above.
constexpr std::uint64_t AnyAbove(std::uint64_t x, unsigned n) {
  return ((x + kOnes * (127 - n)) | x) & kHighs;
}

// Non-zero when some byte equals c.
constexpr std::uint64_t AnyEqual(std::uint64_t x, unsigned char c) {
  return AnyBelow(x ^ (kOnes * c), 1);
}

// Non-zero unless all eight bytes are ASCII letters.
constexpr std::uint64_t AnyNonLetter(std::uint64_t x) {
  const std::uint64_t lower = x | (kOnes * 0x20);
  return AnyBelow(lower, 'a') | AnyAbove(lower, 'z');
}

}  // namespace zelk::filter::blocks
