// The profile-file (INI) reader and writer over a file of any content:
// writing a key and reading it back gives the value as the reader sees it,
// and the write leaves the other keys of the file as they were.
//
// Input: section NUL key NUL value NUL file text.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/profile_line.h"
#include "platform/text.h"

using namespace zelk::platform;

namespace {

// A name the reader can find again: blanks kept off its ends, no line end,
// nothing that would make its line read as something else.
bool IsFindableName(std::string_view name, bool section) {
  if (name.empty() || TrimProfileBlanks(name) != name) return false;
  if (name.find_first_of(section ? "]\r\n" : "=\r\n") != std::string_view::npos) return false;
  if (!section && name.front() == '[') return false;
  return name.find('\0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/zelk-fuzz-profile-" + std::to_string(getpid()) + ".ini";
  std::string_view rest = zelk::fuzz::AsText(data, size), section, key, value, file;
  zelk::fuzz::SplitAt(rest, std::string_view("\0", 1), &section, &rest);
  zelk::fuzz::SplitAt(rest, std::string_view("\0", 1), &key, &rest);
  zelk::fuzz::SplitAt(rest, std::string_view("\0", 1), &value, &file);

  // Every line parses into views of itself.
  for (const std::string& line : zelk::SplitLines(file)) {
    const ProfileLine parsed = ParseProfileLine(line);
    const auto inside = [&](std::string_view v) {
      return v.empty() ||
             (v.data() >= line.data() && v.data() + v.size() <= line.data() + line.size());
    };
    FUZZ_CHECK(inside(parsed.name) && inside(parsed.value));
  }

  std::string error;
  FUZZ_CHECK(WriteWholeFile(path, std::string(file), &error));
  const std::string sec(section), k(key), v(value);
  const std::string other = zelk::EqualsIgnoreAsciiCase(k, "Other") ? "Another" : "Other";
  const std::string other_before = GetProfileString(path, sec, other, "-", 1 << 20);

  const bool written = WriteProfileString(path, sec, k, v);
  if (v.find_first_of("\r\n") != std::string::npos ||
      k.find_first_of("\r\n") != std::string::npos ||
      sec.find_first_of("\r\n") != std::string::npos) {
    FUZZ_CHECK(!written);
  }
  if (written && IsFindableName(section, true) && IsFindableName(key, false) &&
      value.find('\0') == std::string_view::npos) {
    const std::string expected(ParseProfileLine("k=" + v).value);
    FUZZ_CHECK(GetProfileString(path, sec, k, "-", 1 << 20) == expected);
    FUZZ_CHECK(GetProfileString(path, sec, other, "-", 1 << 20) == other_before);
  }
  unlink(path.c_str());
  return 0;
}
