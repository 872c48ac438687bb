#include "platform/profile_line.h"

#include "platform/text.h"

namespace zelk::platform {

std::string_view TrimProfileBlanks(std::string_view text) {
  return TrimWhere(text, [](char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
  });
}

ProfileLine ParseProfileLine(std::string_view raw) {
  const std::string_view line = TrimProfileBlanks(raw);
  ProfileLine out;
  if (line.empty()) return out;
  if (line.front() == '[') {
    const std::size_t close = line.find(']');
    if (close != std::string_view::npos) {
      out.kind = ProfileLine::Kind::kSection;
      out.name = TrimProfileBlanks(line.substr(1, close - 1));
      return out;
    }
  }
  out.kind = ProfileLine::Kind::kKey;
  const std::size_t eq = line.find('=');
  out.name = TrimProfileBlanks(line.substr(0, eq));
  if (eq == std::string_view::npos) return out;
  std::string_view v = TrimProfileBlanks(line.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  out.value = v;
  return out;
}

}  // namespace zelk::platform
