#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/native_path_posix.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace zelk::platform {
namespace {

bool IsProfileSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
  return s;
}

// Calls visit(line) for every line; CR LF, LF and a lone CR all end a line.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    if (!visit(text.substr(start, end - start))) return;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
}

}  // namespace

std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t buffer_size) {
  const auto cut = [buffer_size](std::string_view v) {
    const std::size_t room = buffer_size == 0 ? 0 : buffer_size - 1;
    return std::string(v.substr(0, room));
  };
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return cut(Trim(default_value));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  bool in_section = false;
  bool seen_section = false;
  bool found = false;
  std::string value;
  ForEachLine(text, [&](std::string_view raw) {
    std::string_view line = Trim(raw);
    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      if (close != std::string_view::npos) {
        // Only the first section of that name is searched, as Windows does.
        if (seen_section && in_section) return false;
        in_section = EqualsIgnoreAsciiCase(Trim(line.substr(1, close - 1)), section);
        seen_section = seen_section || in_section;
        return true;
      }
    }
    if (!in_section) return true;
    const std::size_t eq = line.find('=');
    const std::string_view name = Trim(line.substr(0, eq));
    if (!EqualsIgnoreAsciiCase(name, key)) return true;
    std::string_view v =
        eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
      v = v.substr(1, v.size() - 2);
    }
    value.assign(v);
    found = true;
    return false;
  });
  return found ? cut(value) : cut(Trim(default_value));
}

}  // namespace zelk::platform
