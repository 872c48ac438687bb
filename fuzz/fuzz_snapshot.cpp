// Snapshot lines: the path read back from a stored line, a line written for
// any path and any file times, and the comparison of two snapshots.
//
// Input: 24 bytes of size and times, then the newer snapshot, "\n==\n", the
// older one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"
#include "platform/text.h"

using namespace zelk::manager;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 24) return 0;
  zelk::platform::DirEntry entry;
  std::memcpy(&entry.size, data, 8);
  std::memcpy(&entry.creation_time, data + 8, 8);
  std::memcpy(&entry.last_write_time, data + 16, 8);
  std::string_view newer_text, older_text;
  zelk::fuzz::SplitAt(zelk::fuzz::AsText(data + 24, size - 24), "\n==\n", &newer_text, &older_text);
  const std::vector<std::string> newer = zelk::SplitLines(newer_text);
  const std::vector<std::string> older = zelk::SplitLines(older_text);

  for (const std::string& line : newer) {
    // The path read back from a line is where it starts, and a line written
    // for that path (commas and all) gives it back.
    const std::string path = SnapshotLinePath(line);
    FUZZ_CHECK(line.compare(0, path.size(), path) == 0);
    const std::string written = FormatSnapshotLine(line, entry, '/', ':');
    FUZZ_CHECK(SnapshotLinePath(written) == line);
  }

  // The new lines: each a line of the newer snapshot, with a comma, that the
  // older one lacks in any letter case; and every such line is reported.
  const std::vector<std::string> found = NewSnapshotLines(newer, older);
  const auto in = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
      return zelk::EqualsIgnoreAsciiCase(l, line);
    });
  };
  for (const std::string& line : found) {
    FUZZ_CHECK(line.find(',') != std::string::npos);
    FUZZ_CHECK(std::count(newer.begin(), newer.end(), line) > 0);
    FUZZ_CHECK(in(older, line) == 0);
  }
  std::size_t expected = 0;
  for (const std::string& line : newer) {
    expected += line.find(',') != std::string::npos && in(older, line) == 0;
  }
  FUZZ_CHECK(found.size() == expected);
  return 0;
}
