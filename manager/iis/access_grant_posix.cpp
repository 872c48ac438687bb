// Permission bits standing in for access lists (see access_grant.h). The walk
// through a folder follows the Windows one: contents first, names beginning
// with "." skipped, the folder itself last and only when its contents were
// all granted.
#include <sys/stat.h>

#include "manager/iis/access_grant.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {

namespace {

mode_t AddedBits(std::uint32_t mask, bool directory) {
  const bool all = (mask & kGenericAll) != 0;
  mode_t bits = 0;
  if (all || (mask & kGenericRead)) bits |= S_IRUSR | S_IRGRP | S_IROTH;
  if (all || (mask & kGenericWrite)) bits |= S_IWUSR | S_IWGRP | S_IWOTH;
  // Reading a folder's listing is of no use without searching it.
  if (all || (mask & kGenericExecute) || (directory && (mask & kGenericRead))) {
    bits |= S_IXUSR | S_IXGRP | S_IXOTH;
  }
  return bits;
}

bool GrantOne(const std::string& native_path, std::uint32_t mask) {
  struct stat st;
  if (::stat(native_path.c_str(), &st) != 0) return false;
  const mode_t mode = st.st_mode & 07777;
  const mode_t wanted = mode | AddedBits(mask, S_ISDIR(st.st_mode));
  return wanted == mode || ::chmod(native_path.c_str(), wanted) == 0;
}

bool GrantTree(const std::string& gbk_dir, std::uint32_t mask) {
  auto entries = platform::DirEnumerator::Open(gbk_dir);
  if (!entries) return false;
  platform::DirEntry entry;
  while (entries->Next(&entry)) {
    if (entry.name.empty() || entry.name[0] == '.') continue;
    const std::string child = gbk_dir + "/" + entry.name;
    const bool ok =
        entry.is_directory ? GrantTree(child, mask) : GrantOne(platform::GbkToUtf8(child), mask);
    if (!ok) return false;
  }
  return GrantOne(platform::GbkToUtf8(gbk_dir), mask);
}

}  // namespace

bool GrantFileAccess(const std::string& account, const std::string& path, std::uint32_t mask) {
  if (!EqualsIgnoreAsciiCase(account, kEveryone)) return false;
  std::string target(TrimBlanksAndControls(path));
  if (target.empty()) return false;
  if (platform::DirectoryExists(target)) {
    if (target.size() > 1 && target.back() == '/') target.pop_back();
    return GrantTree(target, mask);
  }
  return GrantOne(platform::GbkToUtf8(target), mask);
}

}  // namespace zelk::manager
