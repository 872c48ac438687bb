// One line of a section-and-key file as our reader (profile_posix.cpp) and
// writer (profile_write_posix.cpp) see it, so that both find sections and
// keys by the same rules (those of profile.h):
//  - blanks (space, tab, CR, LF, vertical tab, form feed) around the line,
//    names and values do not count;
//  - a line that begins with "[" and holds a "]" names a section: the text
//    between them;
//  - any other line that is not blank is a key: the name is the text before
//    the first "=" (the whole line when there is none), the value the text
//    after it, without one pair of equal quotation marks (single or double)
//    enclosing all of it.
// Pure; the views point into the line.
#pragma once

#include <string_view>

namespace zelk::platform {

struct ProfileLine {
  enum class Kind { kBlank, kSection, kKey };
  Kind kind = Kind::kBlank;
  std::string_view name;   // section or key name
  std::string_view value;  // a key's value
};

ProfileLine ParseProfileLine(std::string_view line);

// The text without profile blanks at either end.
std::string_view TrimProfileBlanks(std::string_view text);

}  // namespace zelk::platform
