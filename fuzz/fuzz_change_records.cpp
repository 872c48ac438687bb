// The change-record buffers of the directory watcher, and the assembly of
// records into changes: no read outside the buffer (ASan watches), at most
// one record per 12 bytes, names without NUL, and every change inside the
// watched directory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/check.h"
#include "manager/monitor/change_records.h"

using namespace zelk::manager;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes, so that ASan sees any read past the end.
  const std::vector<unsigned char> buffer(data, data + size);
  const std::vector<ChangeRecord> records = ParseChangeRecords(buffer.data(), buffer.size());
  FUZZ_CHECK(records.size() <= size / 12);
  for (const ChangeRecord& r : records) FUZZ_CHECK(r.name.find('\0') == std::string::npos);

  const std::string dir = "/site/";
  ChangeAssembler assembler(dir);
  std::vector<FileChange> changes;
  assembler.Add(records, &changes);
  assembler.Add(records, &changes);  // a second batch, with a rename perhaps pending
  FUZZ_CHECK(changes.size() <= 2 * records.size());
  for (const FileChange& c : changes) {
    FUZZ_CHECK(c.file_name1.empty() || c.file_name1.compare(0, dir.size(), dir) == 0);
    if (c.operation == foRenamed) {
      FUZZ_CHECK(c.file_name2.empty() || c.file_name2.compare(0, dir.size(), dir) == 0);
    } else {
      FUZZ_CHECK(c.file_name2.empty());
    }
  }
  return 0;
}
