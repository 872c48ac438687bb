#include "platform/files.h"
#include "platform/profile.h"
#include "platform/profile_line.h"
#include "platform/text.h"

namespace zelk::platform {

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t buffer_size) {
  const auto cut = [buffer_size](std::string_view v) {
    const std::size_t room = buffer_size == 0 ? 0 : buffer_size - 1;
    return std::string(v.substr(0, room));
  };
  std::string text, error;
  if (!ReadWholeFile(path, &text, &error)) return cut(TrimProfileBlanks(default_value));

  bool in_section = false;
  bool seen_section = false;
  for (const TextLine& raw : SplitLinesKeepingEnds(text)) {
    const ProfileLine line = ParseProfileLine(raw.text);
    if (line.kind == ProfileLine::Kind::kSection) {
      // Only the first section of that name is searched, as Windows does.
      if (seen_section && in_section) break;
      in_section = EqualsIgnoreAsciiCase(line.name, section);
      seen_section = seen_section || in_section;
    } else if (line.kind == ProfileLine::Kind::kKey && in_section &&
               EqualsIgnoreAsciiCase(line.name, key)) {
      return cut(line.value);
    }
  }
  return cut(TrimProfileBlanks(default_value));
}

}  // namespace zelk::platform
