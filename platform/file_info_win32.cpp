#include <windows.h>
// <aclapi.h> needs <windows.h> first.
#include <aclapi.h>

#include <algorithm>

#include "platform/file_info.h"
#include "platform/system_error.h"

namespace zelk::platform {

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string ResolveLink(const std::string&) { return ""; }

bool ReadFileHead(const std::string& path, std::size_t max_bytes, std::string* bytes,
                  std::string* error) {
  const HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = SystemErrorText("CreateFileA", LastSystemError(), path);
    return false;
  }
  std::string out(max_bytes, '\0');
  std::size_t got = 0;
  while (got < max_bytes) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max_bytes - got, 1 << 20));
    if (!::ReadFile(h, &out[got], want, &n, nullptr)) {
      *error = SystemErrorText("ReadFile", LastSystemError(), path);
      ::CloseHandle(h);
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  ::CloseHandle(h);
  out.resize(got);
  *bytes = std::move(out);
  return true;
}

bool MoveFileKeepingTime(const std::string& from, const std::string& to, std::string* error) {
  if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    *error = SystemErrorText("MoveFileExA", LastSystemError(), from);
    return false;
  }
  return true;
}

std::string FileOwner(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return "";
  }
  char name[256];
  char domain[256];
  DWORD name_size = sizeof name;
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  std::string out;
  if (::LookupAccountSidA(nullptr, owner, name, &name_size, domain, &domain_size, &use)) {
    out = name;
  }
  ::LocalFree(descriptor);
  return out;
}

}  // namespace zelk::platform
