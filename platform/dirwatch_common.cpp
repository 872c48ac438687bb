#include <cstring>

#include "platform/dirwatch.h"

namespace zelk::platform {
namespace {

void PutUint32(unsigned char* at, std::uint32_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
  at[2] = static_cast<unsigned char>(value >> 16);
  at[3] = static_cast<unsigned char>(value >> 24);
}

}  // namespace

void AppendNotifyRecord(std::vector<unsigned char>* buffer, std::size_t* prev_offset,
                        std::uint32_t action, std::u16string_view name) {
  constexpr std::size_t kHeader = 12;
  const std::size_t name_bytes = name.size() * 2;
  // Records start on 4-byte boundaries, as the system aligns them.
  const std::size_t size = (kHeader + name_bytes + 3) & ~static_cast<std::size_t>(3);
  const std::size_t start = buffer->size();
  buffer->resize(start + size, 0);
  unsigned char* rec = buffer->data() + start;
  PutUint32(rec, 0);
  PutUint32(rec + 4, action);
  PutUint32(rec + 8, static_cast<std::uint32_t>(name_bytes));
  for (std::size_t i = 0; i < name.size(); ++i) {
    rec[kHeader + 2 * i] = static_cast<unsigned char>(name[i] & 0xFF);
    rec[kHeader + 2 * i + 1] = static_cast<unsigned char>(name[i] >> 8);
  }
  if (*prev_offset != std::string::npos) {
    PutUint32(buffer->data() + *prev_offset, static_cast<std::uint32_t>(start - *prev_offset));
  }
  *prev_offset = start;
}

}  // namespace zelk::platform
