// The settings file and the URL white list as the filter loads them from
// files of any content: every white-list line is found again in any ASCII
// letter case, and the texts of the settings stay within the reader's buffer.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/settings.h"
#include "fuzz/check.h"
#include "platform/files.h"
#include "platform/text.h"

using namespace zelk::filter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/zelk-fuzz-settings-" + std::to_string(getpid());
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  FUZZ_CHECK(zelk::platform::WriteWholeFile(path, text, &error));

  const FilterSettings settings = LoadSettings(path);
  for (const TextKey& key : kTextKeys) FUZZ_CHECK((settings.*key.member).size() <= 2047);

  WhiteList list;
  FUZZ_CHECK(LoadWhiteList(path, &list));
  const std::vector<std::string> lines = zelk::SplitLines(text);
  FUZZ_CHECK(list.entries() == lines);
  for (const std::string& line : lines) {
    FUZZ_CHECK(list.Contains(line));
    FUZZ_CHECK(list.Contains(zelk::ToAsciiLower(line)));
    std::string upper = line;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    FUZZ_CHECK(list.Contains(upper));
  }
  // A text that is not a line of the file is not listed (unless it equals
  // one but for letter case).
  const std::string probe = text + "\x01";
  bool listed = false;
  for (const std::string& line : lines) listed = listed || zelk::EqualsIgnoreAsciiCase(line, probe);
  FUZZ_CHECK(list.Contains(probe) == listed);
  unlink(path.c_str());
  return 0;
}
