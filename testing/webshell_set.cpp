#include "testing/webshell_set.h"

#include <lzma.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/files.h"

namespace zelk::testing {

bool ReadTarXz(const std::string& path, std::vector<ArchiveMember>* members, std::string* error) {
  std::string packed;
  if (!platform::ReadWholeFile(path, &packed, error)) return false;
  lzma_stream strm = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&strm, UINT64_MAX, 0) != LZMA_OK) {
    *error = "lzma_stream_decoder failed";
    return false;
  }
  std::string tar;
  strm.next_in = reinterpret_cast<const std::uint8_t*>(packed.data());
  strm.avail_in = packed.size();
  std::vector<std::uint8_t> out(1 << 20);
  lzma_ret rc = LZMA_OK;
  while (rc == LZMA_OK) {
    strm.next_out = out.data();
    strm.avail_out = out.size();
    rc = lzma_code(&strm, LZMA_FINISH);
    tar.append(reinterpret_cast<const char*>(out.data()), out.size() - strm.avail_out);
  }
  lzma_end(&strm);
  if (rc != LZMA_STREAM_END) {
    *error = "xz error " + std::to_string(rc) + " in " + path;
    return false;
  }
  std::string long_name;
  for (std::size_t at = 0; at + 512 <= tar.size();) {
    const char* h = tar.data() + at;
    if (h[0] == '\0') break;  // the end-of-archive blocks
    const std::size_t size = std::strtoull(std::string(h + 124, 12).c_str(), nullptr, 8);
    const char type = h[156];
    std::string name(h, strnlen(h, 100));
    if (std::string_view(h + 257, 5) == "ustar" && h[345] != '\0') {
      name = std::string(h + 345, strnlen(h + 345, 155)) + "/" + name;
    }
    if (!long_name.empty()) name = std::move(long_name);
    long_name.clear();
    const std::size_t data_at = at + 512;
    if (data_at + size > tar.size()) {
      *error = "truncated archive " + path;
      return false;
    }
    if (type == 'L') {
      long_name.assign(tar, data_at, size);
      long_name.resize(strnlen(long_name.c_str(), long_name.size()));
    } else if (type == '0' || type == '\0') {
      members->push_back({name, tar.substr(data_at, size)});
    }
    at = data_at + (size + 511) / 512 * 512;
  }
  return true;
}

std::string WebShellSetDir(const std::string& source_dir) {
  return source_dir + "/../shared/webshell/";
}

bool ReadWebShellSet(const std::string& source_dir, std::vector<ArchiveMember>* members,
                     std::string* error) {
  for (const char* archive : {"malicious.tar.xz", "benign.tar.xz"}) {
    if (!ReadTarXz(WebShellSetDir(source_dir) + archive, members, error)) return false;
  }
  return true;
}

bool IsHoldOut(const std::string& member) {
  const std::size_t slash = member.rfind('/');
  const char c = member[slash == std::string::npos ? 0 : slash + 1];
  return c == '0' || c == '1';
}

std::string LabelAndLanguage(const std::string& member) {
  const std::size_t s1 = member.find('/');
  if (s1 == std::string::npos) return "";
  const std::size_t s2 = member.find('/', s1 + 1);
  if (s2 == std::string::npos) return "";
  return member.substr(0, s2);
}

}  // namespace zelk::testing
