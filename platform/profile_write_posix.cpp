// Our writer for section-and-key files. It edits the file's text in place so
// that everything it does not own stays byte for byte, and finds sections and
// keys by exactly the rules of the reader in profile_posix.cpp, so that a key
// written here is the key read back there (and by Windows).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/native_path_posix.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace zelk::platform {
namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\r\n", "\n", "\r" or "" for a last line without one
};

bool IsProfileSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsProfileSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsProfileSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<Line> SplitKeepingEnds(const std::string& text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back({text.substr(start), ""});
      break;
    }
    std::size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({text.substr(start, end - start), text.substr(end, next - end)});
    start = next;
  }
  return lines;
}

// The section name of a header line, or false when the line is no header.
bool SectionHeader(std::string_view raw, std::string_view* name) {
  const std::string_view line = Trim(raw);
  if (line.empty() || line.front() != '[') return false;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(line.substr(1, close - 1));
  return true;
}

bool ReadFile(const std::string& path, std::string* text, bool* exists) {
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *exists = false;
    return errno == ENOENT;
  }
  *exists = true;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    text->append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFile(const std::string& path, const std::string& text) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0 && ok;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) || Trim(key).empty()) return false;
  std::string text;
  bool exists = false;
  if (!ReadFile(path, &text, &exists)) return false;
  std::vector<Line> lines = SplitKeepingEnds(text);

  // The first section of that name, as the reader searches only that one.
  std::size_t header = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    if (SectionHeader(lines[i].text, &name) && EqualsIgnoreAsciiCase(name, section)) {
      header = i;
      break;
    }
  }

  if (header == lines.size()) {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = "\r\n";
    lines.push_back({"[" + section + "]", "\r\n"});
    lines.push_back({key + "=" + value, "\r\n"});
  } else {
    std::size_t end = header + 1;  // one past the section's last line
    std::size_t last_content = header;
    std::size_t found = lines.size();
    for (; end < lines.size(); ++end) {
      std::string_view ignored;
      if (SectionHeader(lines[end].text, &ignored)) break;
      const std::string_view line = Trim(lines[end].text);
      if (line.empty()) continue;
      last_content = end;
      if (found == lines.size() && EqualsIgnoreAsciiCase(Trim(line.substr(0, line.find('='))), key)) {
        found = end;
      }
    }
    if (found != lines.size()) {
      // Keep the key's spelling in the file; only its value changes.
      const std::string_view line = Trim(lines[found].text);
      lines[found].text = std::string(Trim(line.substr(0, line.find('=')))) + "=" + value;
    } else {
      // After the section's last key, ahead of any blank lines before the
      // next section.
      if (lines[last_content].end.empty()) lines[last_content].end = "\r\n";
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_content) + 1, {key + "=" + value, "\r\n"});
    }
  }

  std::string out;
  out.reserve(text.size() + key.size() + value.size() + section.size() + 8);
  for (const Line& l : lines) {
    out += l.text;
    out += l.end;
  }
  return WriteFile(path, out);
}

}  // namespace zelk::platform
