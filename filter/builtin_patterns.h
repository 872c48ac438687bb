// The three built-in pattern texts, stored scrambled (see DescramblePattern).
// Their plain texts live in filter/patterns/text{1,2,3}.pcre for review; a
// test keeps the two in step, and scripts/scramble-patterns.py regenerates
// builtin_patterns.inc from them. Texts 1 and 2, and the forms of them the
// filter compiles, are written by scripts/compose-patterns.py from their
// grammar.
#pragma once

#include <string_view>

namespace zelk::filter {

// number 1, 2 or 3; anything else gives an empty text.
std::string_view BuiltinPatternScrambled(int number);

// The form of text 1 or 2 that the filter compiles (filter/patterns/
// text<n>.fast.pcre): the same matches, with lookaheads that let PCRE give up
// sooner, and longer than a text may be. Text 3 is compiled as it is.
std::string_view BuiltinFastPatternScrambled(int number);

}  // namespace zelk::filter
