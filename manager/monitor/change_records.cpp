#include "manager/monitor/change_records.h"

#include "platform/codepage.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

constexpr std::size_t kRecordHeader = 12;

std::uint32_t ReadUint32(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
         (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

std::string NameToGbk(const unsigned char* bytes, std::size_t units) {
  std::u16string name;
  name.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t unit = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (unit == 0) break;
    name.push_back(unit);
  }
  bool ascii = true;
  for (char16_t c : name) ascii = ascii && c < 0x80;
  if (ascii) return std::string(name.begin(), name.end());
  return platform::Utf16ToGbk(name);
}

}  // namespace

std::vector<ChangeRecord> ParseChangeRecords(const unsigned char* data, std::size_t size) {
  std::vector<ChangeRecord> records;
  if (data == nullptr) return records;
  std::size_t offset = 0;
  while (size - offset >= kRecordHeader) {
    const unsigned char* rec = data + offset;
    const std::uint32_t next = ReadUint32(rec);
    const std::uint32_t action = ReadUint32(rec + 4);
    const std::uint32_t name_bytes = ReadUint32(rec + 8);
    const std::size_t room = size - offset - kRecordHeader;
    if (name_bytes > room) break;  // the name runs past the end: not a record
    records.push_back(ChangeRecord{action, NameToGbk(rec + kRecordHeader, name_bytes / 2)});
    if (next == 0) break;
    // The system never lets records overlap; one that would is the last.
    if (next < kRecordHeader + name_bytes || next > size - offset) break;
    offset += next;
  }
  return records;
}

void ChangeAssembler::Add(const platform::DirChangeBatch& batch, std::vector<FileChange>* changes) {
  if (batch.lost) {
    rename_pending_ = false;
    old_path_.clear();
    changes->push_back(FileChange{foLost, dir_, std::string()});
  }
  Add(ParseChangeRecords(batch.records.data(), batch.records.size()), changes);
}

void ChangeAssembler::Add(const std::vector<ChangeRecord>& records,
                          std::vector<FileChange>* changes) {
  for (const ChangeRecord& record : records) {
    const std::string name(TrimBlanksAndControls(record.name));
    std::string path = name.empty() ? std::string() : dir_ + name;
    switch (record.action) {
      case platform::kNotifyAdded:
      case platform::kNotifyRemoved:
      case platform::kNotifyModified:
        rename_pending_ = false;
        changes->push_back(
            FileChange{static_cast<TFileOperation>(record.action - 1), std::move(path), {}});
        break;
      case platform::kNotifyRenamedOldName:
        rename_pending_ = true;
        old_path_ = std::move(path);
        break;
      case platform::kNotifyRenamedNewName:
        if (rename_pending_) {
          changes->push_back(FileChange{foRenamed, std::move(old_path_), std::move(path)});
          rename_pending_ = false;
          old_path_.clear();
        }
        break;
      default:
        break;
    }
  }
}

}  // namespace zelk::manager
