#include "platform/text.h"

namespace zelk {

std::vector<TextLine> SplitLinesKeepingEnds(std::string_view text) {
  std::vector<TextLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back({text.substr(start), {}});
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({text.substr(start, end - start), text.substr(end, next - end)});
    start = next;
  }
  return lines;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> out;
  for (const TextLine& line : SplitLinesKeepingEnds(text)) out.emplace_back(line.text);
  return out;
}

}  // namespace zelk
