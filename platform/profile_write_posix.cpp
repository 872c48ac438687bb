// Our writer for section-and-key files. It edits the file's text in place so
// that everything it does not own stays byte for byte, and finds sections and
// keys through the line parser the reader uses too (profile_line.h), so that a
// key written here is the key read back there (and by Windows).
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "platform/profile_line.h"
#include "platform/text.h"

namespace zelk::platform {
namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n", "\r" or "" for a last line without one
};

bool IsHeaderOf(std::string_view text, std::string_view section) {
  const ProfileLine line = ParseProfileLine(text);
  return line.kind == ProfileLine::Kind::kSection && EqualsIgnoreAsciiCase(line.name, section);
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      TrimProfileBlanks(key).empty()) {
    return false;
  }
  std::string text, error;
  if (!ReadWholeFile(path, &text, &error)) {
    // A missing file is made; one that is there but cannot be read is left alone.
    DirEntry entry;
    if (FindFile(path, &entry)) return false;
    text.clear();
  }
  std::vector<Line> lines;
  for (const TextLine& l : SplitLinesKeepingEnds(text)) {
    lines.push_back({std::string(l.text), std::string(l.end)});
  }

  // The first section of that name, as the reader searches only that one.
  std::size_t header = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (IsHeaderOf(lines[i].text, section)) {
      header = i;
      break;
    }
  }

  if (header == lines.size()) {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
    lines.push_back({"[" + section + "]", "\r\n"});
    lines.push_back({key + "=" + value, "\r\n"});
  } else {
    std::size_t last_content = header;
    std::size_t found = lines.size();
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
      const ProfileLine line = ParseProfileLine(lines[i].text);
      if (line.kind == ProfileLine::Kind::kSection) break;
      if (line.kind == ProfileLine::Kind::kBlank) continue;
      last_content = i;
      if (found == lines.size() && EqualsIgnoreAsciiCase(line.name, key)) found = i;
    }
    if (found != lines.size()) {
      // Keep the key's spelling in the file; only its value changes.
      lines[found].text = std::string(ParseProfileLine(lines[found].text).name) + "=" + value;
    } else {
      // After the section's last key, ahead of any blank lines before the
      // next section.
      if (lines[last_content].end.empty()) lines[last_content].end = "\r\n";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_content) + 1,
                   {key + "=" + value, "\r\n"});
    }
  }

  std::string out;
  out.reserve(text.size() + key.size() + value.size() + section.size() + 8);
  for (const Line& l : lines) {
    out += l.text;
    out += l.end;
  }
  return WriteWholeFile(path, out, &error);
}

}  // namespace zelk::platform
