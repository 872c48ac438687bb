// A quick test that tells, for most ordinary values, that the built-in
// injection texts 1 and 2 cannot match, so that PCRE need not be started.
#pragma once

#include <string_view>

namespace zelk::filter {

// False only when built-in texts 1 and 2 cannot match `folded` (a subject as
// FoldSubject leaves it). Every way into those texts needs at least one of
// these (letters in any case), which is what this looks for:
// - a byte ' " ` { @;
// - "&&", "||", "::", "0x", ") as ", ';' followed by an optional blank and
//   then the end, '-' or '#';
// - '(' after '=', before "case", or after a name the texts call (ascii,
//   char, sleep, in, ... or any name holding '_');
// - a word not preceded by a letter: and, or, xor, not, into, select, union,
//   having, exec, waitfor, xp_cmd, utl_, "order by", "group by"; a
//   comparison word (like, between, is, ...) after a number at the start of
//   a value ("=1 like"); a statement word (drop, update, delete, limit, ...)
//   there or after ';'; information_schema, also straight after "from".
// So ordinary text with brackets, "like" or "update" in it skips PCRE.
// The texts are composed by scripts/compose-patterns.py; whoever changes
// them keeps this in step (the pattern tests check that the verdict is the
// same with and without this on the corpus and on generated values).
// One pass over the subject, a few instructions per byte.
bool MayMatchInjectionTexts(std::string_view folded);

}  // namespace zelk::filter
