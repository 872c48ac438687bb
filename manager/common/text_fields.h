// Pure text helpers shared by the manager's pages: fields of a delimited
// line, the mask list of a file-type box, the wildcard match, and the short
// form of a path for a status label. All texts are GBK byte strings; no
// helper ever looks at the second byte of a two-byte character on its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelk::manager {

// The n-th field (counted from 1) of text split at every occurrence of
// delimiter; the last field is the text after the last delimiter. Empty when
// the text has fewer than n fields (or n < 1, or the delimiter is empty and
// n > 1).
std::string GetDelimitedField(std::string_view text, std::string_view delimiter, int n);

// The mask list rule: masks are separated by commas; bytes 1..32 (blanks and
// control characters) also end a mask and are dropped around masks. A mask in
// double quotes may hold commas and blanks, and "" inside it stands for one
// quote; a quote left open runs to the end of the text. Two commas in a row
// give an empty mask, and so does a comma that ends the text.
std::vector<std::string> SplitMaskList(std::string_view text);

// "*" and "?" wildcard match of the whole text, ASCII letters compared without
// case, other bytes as they are. One backtrack point (the latest "*"), in two
// phases exactly as the manager has always matched, including that a "?"
// right after a "*" is tried at one position only.
bool MatchWildcard(std::string_view mask, std::string_view text);

// True when any mask of the list matches the text (an empty mask matches
// nothing).
bool MatchesAnyMask(const std::vector<std::string>& masks, std::string_view text);

// The path shortened for a one-line label to at most max_chars - 1 bytes
// (the buffer size counts the terminating zero): unchanged when it fits;
// otherwise the start of the folder part, "...", a separator and the file
// name; when even the name does not fit, the start of the name and "...".
// A two-byte character is kept whole or dropped whole.
std::string CompactPathForLabel(std::string_view path, std::size_t max_chars = 60);

// Replaces every doubled separator by a single one, scanning left to right
// over whole characters ("a\\\b" -> "a\\b" with three separators in).
std::string CollapseDoubledSeparators(std::string_view path, char separator);

}  // namespace zelk::manager
