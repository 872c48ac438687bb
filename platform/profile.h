// Section-and-key (INI) files as the Windows profile API reads and writes them.
//
// Windows builds call GetPrivateProfileStringA / WritePrivateProfileStringA.
// Other systems use our own reader, which follows the same rules:
//  - section and key names are found regardless of ASCII letter case, the
//    first matching section and, inside it, the first matching key win;
//  - white space around names and values is dropped, then one pair of equal
//    quotation marks (single or double) enclosing the whole value;
//  - a value is cut to buffer_size - 1 bytes, as by a fixed-size buffer;
//  - a missing file, section or key gives the default.
// Files are GBK byte strings; nothing is converted.
#pragma once

#include <cstddef>
#include <string>

namespace zelk::platform {

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t buffer_size = 2048);

// Parses an integer the way the filter's switches are read: optional sign, then
// decimal digits, or hexadecimal after "0x", "0X" or "$". Returns false (value
// untouched) for anything else, including an empty text and overflow.
bool ParseProfileInt(const std::string& text, long long* value);

}  // namespace zelk::platform

namespace zelk::platform {

// Writes one key, as WritePrivateProfileStringA does: the file and the section
// are created when missing; an existing key (found by the reader's rules) gets
// the new value; everything else in the file (other sections, keys, comments,
// blank lines, line ends) stays as it is. New lines end in CR LF. Refuses
// (false) names or values holding CR or LF, which would break the file's
// lines, and a file that cannot be written.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value);

}  // namespace zelk::platform
