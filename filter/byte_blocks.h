// Eight bytes at a time: tests whether a block of eight holds any byte of a
// kind, so that the long ordinary runs of a value (letters, digits, plain
// punctuation) are passed at a few instructions per block instead of a
// table look-up per byte. Every test answers "some byte may be of the kind";
// the caller then reads that block byte by byte, so a test only has to be
// exact about blocks that hold no such byte. Byte order does not matter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Whether some byte of text passes byte_test. block_test(x) must be non-zero
// for every block of eight that holds such a byte; blocks it passes are not
// read byte by byte.
template <typename BlockTest, typename ByteTest>
bool AnyByte(std::string_view text, BlockTest block_test, ByteTest byte_test) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    if (!block_test(Load(s + i))) continue;
    for (std::size_t k = i; k < i + 8; ++k) {
      if (byte_test(s[k])) return true;
    }
  }
  for (; i < n; ++i) {
    if (byte_test(s[i])) return true;
  }
  return false;
}

// Run lengths: how many bytes at the start of s[0, n) are certainly of a
// kind. A run length may stop short of the run's end, never past it; the
// caller reads on byte by byte. Eight bytes at a time everywhere, sixteen
// with SSE2 where it is there (x86-64 always); the plain name picks the
// faster.

// ASCII letters.
inline std::size_t LetterRun8(const unsigned char* s, std::size_t n) {
  std::size_t k = 0;
  while (k + 8 <= n && !AnyNonLetter(Load(s + k))) k += 8;
  return k;
}

// The bytes the subject fold copies as they are: from 0x20 to 0x7F, not
// '#', no "--", "/*" or "*/", no space straight after a space or '(', and no
// parenthesis straight after a space. s[-1] must be readable: it decides
// whether a first byte is one of those. Eight at a time, the run also stops
// at any parenthesis and at every '-', '/' and '*'.
inline std::size_t FoldPlainRun8(const unsigned char* s, std::size_t n) {
  std::size_t k = 0;
  for (; k + 8 <= n && !(s[k] == ' ' && (s[k - 1] == ' ' || s[k - 1] == '(')); k += 8) {
    const std::uint64_t x = Load(s + k);
    const std::uint64_t spaces = AnyEqual(x, ' ');
    if ((x & kHighs) | AnyBelow(x, 0x20) | (spaces & (spaces << 8)) | AnyEqual(x, '/') |
        AnyEqual(x, '*') | AnyEqual(x, '#') | AnyEqual(x, '-') | AnyEqual(x, '(') |
        AnyEqual(x, ')')) {
      break;
    }
  }
  return k;
}

// Bytes that are neither a nor b.
inline std::size_t RunWithoutEither8(const unsigned char* s, std::size_t n, unsigned char a,
                                     unsigned char b) {
  std::size_t k = 0;
  while (k + 8 <= n && !(AnyEqual(Load(s + k), a) | AnyEqual(Load(s + k), b))) k += 8;
  return k;
}

// The bytes HTML escaping copies as they are: none of & < > " '.
inline std::size_t MarkupFreeRun8(const unsigned char* s, std::size_t n) {
  std::size_t k = 0;
  for (; k + 8 <= n; k += 8) {
    const std::uint64_t x = Load(s + k);
    if (AnyEqual(x, '&') | AnyEqual(x, '<') | AnyEqual(x, '>') | AnyEqual(x, '"') |
        AnyEqual(x, '\'')) {
      break;
    }
  }
  return k;
}

#if defined(__SSE2__)
// The run before the first stop, sixteen bytes at a time: stops_at(at) gives
// one bit per byte of the block at `at` that ends the run. The last bytes of
// a text of sixteen or more are read in a block that ends with the text and
// overlaps what was read.
template <typename StopsAt>
std::size_t RunBeforeStop16(std::size_t n, StopsAt stops_at) {
  std::size_t k = 0;
  for (; k + 16 <= n; k += 16) {
    const unsigned stops = stops_at(k);
    if (stops != 0) return k + static_cast<std::size_t>(__builtin_ctz(stops));
  }
  if (k == n || n < 16) return k;
  const unsigned stops = stops_at(n - 16) >> (k - (n - 16));
  return stops != 0 ? k + static_cast<std::size_t>(__builtin_ctz(stops)) : n;
}

inline std::size_t LetterRun16(const unsigned char* s, std::size_t n) {
  const __m128i to_lower = _mm_set1_epi8(0x20), a = _mm_set1_epi8('a'), span = _mm_set1_epi8(25);
  const auto non_letters = [&](std::size_t at) {  // one bit per byte from `at`
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const __m128i t = _mm_sub_epi8(_mm_or_si128(v, to_lower), a);  // letters: 0 to 25
    const unsigned letters = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, span), t));
    return ~letters & 0xFFFF;
  };
  return RunBeforeStop16(n, non_letters);
}

inline std::size_t FoldPlainRun16(const unsigned char* s, std::size_t n) {
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i last_lane = _mm_set_epi8(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const auto equal = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  const auto stops_at = [&](std::size_t at) {  // one bit per byte from `at`
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at - 1));
    // A signed comparison: below 0x20, and every byte from 0x80.
    __m128i stop = _mm_cmplt_epi8(v, space);
    const __m128i space_before = equal(before, ' ');
    const __m128i blank_after = _mm_or_si128(space_before, equal(before, '('));
    stop = _mm_or_si128(stop, _mm_and_si128(equal(v, ' '), blank_after));
    const __m128i paren = _mm_or_si128(equal(v, '('), equal(v, ')'));
    stop = _mm_or_si128(stop, _mm_and_si128(paren, space_before));
    // '-', '/' and '*' stop the run only where they open or close a comment
    // with the byte after them ("--", "/*", "*/"); in the last lane, whose
    // next byte is not in the block, always.
    const __m128i dash = equal(v, '-'), slash = equal(v, '/'), star = equal(v, '*');
    const __m128i marks = _mm_or_si128(dash, _mm_or_si128(slash, star));
    if (_mm_movemask_epi8(marks) != 0) {
      const __m128i next = _mm_srli_si128(v, 1);
      const __m128i pairs = _mm_or_si128(_mm_and_si128(dash, equal(next, '-')),
                                         _mm_or_si128(_mm_and_si128(slash, equal(next, '*')),
                                                      _mm_and_si128(star, equal(next, '/'))));
      stop = _mm_or_si128(stop, _mm_or_si128(pairs, _mm_and_si128(marks, last_lane)));
    }
    stop = _mm_or_si128(stop, equal(v, '#'));
    return static_cast<unsigned>(_mm_movemask_epi8(stop));
  };
  return RunBeforeStop16(n, stops_at);
}

inline std::size_t RunWithoutEither16(const unsigned char* s, std::size_t n, unsigned char a,
                                      unsigned char b) {
  const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b));
  const auto stops_at = [&](std::size_t at) {  // one bit per byte from `at`
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
  };
  return RunBeforeStop16(n, stops_at);
}

inline std::size_t MarkupFreeRun16(const unsigned char* s, std::size_t n) {
  const auto equal = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  const auto stops_at = [&](std::size_t at) {  // one bit per byte from `at`
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
    const __m128i stop =
        _mm_or_si128(_mm_or_si128(equal(v, '&'), equal(v, '<')),
                     _mm_or_si128(_mm_or_si128(equal(v, '>'), equal(v, '"')), equal(v, '\'')));
    return static_cast<unsigned>(_mm_movemask_epi8(stop));
  };
  return RunBeforeStop16(n, stops_at);
}

inline std::size_t LetterRun(const unsigned char* s, std::size_t n) { return LetterRun16(s, n); }
inline std::size_t MarkupFreeRun(const unsigned char* s, std::size_t n) {
  return MarkupFreeRun16(s, n);
}
inline std::size_t RunWithoutEither(const unsigned char* s, std::size_t n, unsigned char a,
                                    unsigned char b) {
  return RunWithoutEither16(s, n, a, b);
}
inline std::size_t FoldPlainRun(const unsigned char* s, std::size_t n) {
  return FoldPlainRun16(s, n);
}
#else
inline std::size_t LetterRun(const unsigned char* s, std::size_t n) { return LetterRun8(s, n); }
inline std::size_t MarkupFreeRun(const unsigned char* s, std::size_t n) {
  return MarkupFreeRun8(s, n);
}
inline std::size_t RunWithoutEither(const unsigned char* s, std::size_t n, unsigned char a,
                                    unsigned char b) {
  return RunWithoutEither8(s, n, a, b);
}
inline std::size_t FoldPlainRun(const unsigned char* s, std::size_t n) {
  return FoldPlainRun8(s, n);
}
#endif

}  // namespace zelk::filter::blocks
