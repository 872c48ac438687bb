// Access-list grant on Windows Server 2003 and later.
//
// For each path: read its access list (GetNamedSecurityInfoA), take out every
// entry for the account, put one access-allowed entry with the mask in front
// of all others, and write the list back (SetNamedSecurityInfoA). Folders get
// their contents done first, as inherited entries, then themselves.
// Windows NT 4.0, which lacks the named-security calls, is not served.
#include <aclapi.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <vector>

#include "manager/iis/access_grant.h"
#include "platform/text.h"

namespace zelk::manager {

namespace {

// Where the account's identifier sits in an entry of any type: behind the
// mask for the plain types, behind the flags and the GUIDs present for the
// object types.
PSID AceSid(ACE_HEADER* header) {
  auto* bytes = reinterpret_cast<BYTE*>(header);
  switch (header->AceType) {
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case SYSTEM_AUDIT_OBJECT_ACE_TYPE:
    case SYSTEM_ALARM_OBJECT_ACE_TYPE: {
      const auto* object = reinterpret_cast<ACCESS_ALLOWED_OBJECT_ACE*>(header);
      DWORD offset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK) + sizeof(DWORD);
      if (object->Flags & ACE_OBJECT_TYPE_PRESENT) offset += sizeof(GUID);
      if (object->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) offset += sizeof(GUID);
      return offset < header->AceSize ? bytes + offset : nullptr;
    }
    default:
      return header->AceSize > sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)
                 ? bytes + sizeof(ACE_HEADER) + sizeof(ACCESS_MASK)
                 : nullptr;
  }
}

struct LocalFreer {
  void operator()(void* p) const { LocalFree(p); }
};

bool GrantOne(const std::string& path, PSID sid, DWORD mask, bool inherited) {
  if (!sid || !IsValidSid(sid)) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool is_file =
      attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);

  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  std::unique_ptr<void, LocalFreer> hold(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!dacl || !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !(control & SE_DACL_PRESENT)) {
    return false;
  }

  // The read list belongs to the descriptor; work on a copy large enough for
  // the new entry (8 bytes of header and mask plus the identifier).
  const DWORD sid_length = GetLengthSid(sid);
  const DWORD entry_size = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + sid_length;
  std::vector<BYTE> buffer(dacl->AclSize + entry_size);
  std::memcpy(buffer.data(), dacl, dacl->AclSize);
  auto* acl = reinterpret_cast<PACL>(buffer.data());
  acl->AclSize = static_cast<WORD>(buffer.size());

  for (DWORD i = acl->AceCount; i-- > 0;) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace)) return false;
    PSID ace_sid = AceSid(static_cast<ACE_HEADER*>(ace));
    if (ace_sid && IsValidSid(ace_sid) && EqualSid(ace_sid, sid)) {
      if (!DeleteAce(acl, i)) return false;
    }
  }

  std::vector<BYTE> entry_bytes(entry_size);
  auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(entry_bytes.data());
  entry->Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
  entry->Header.AceFlags = static_cast<BYTE>(
      (is_file ? 0 : OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) | (inherited ? INHERITED_ACE : 0));
  entry->Header.AceSize = static_cast<WORD>(entry_size);
  entry->Mask = mask;
  if (!CopySid(sid_length, &entry->SidStart, sid)) return false;
  if (!AddAce(acl, acl->AclRevision, 0, entry, entry_size)) return false;

  return SetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                               nullptr) == ERROR_SUCCESS;
}

// The folder itself as inherited, then every entry not beginning with ".":
// folders the same way, files as inherited. Stops at the first failure.
bool GrantContents(const std::string& dir, PSID sid, DWORD mask) {
  if (!GrantOne(dir, sid, mask, true)) return false;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((dir + "\\*.*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return true;  // nothing listed
  bool ok = true;
  do {
    if (found.cFileName[0] == '.') continue;
    const std::string child = dir + "\\" + found.cFileName;
    ok = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? GrantContents(child, sid, mask)
                                                             : GrantOne(child, sid, mask, true);
  } while (ok && FindNextFileA(find, &found));
  FindClose(find);
  return ok;
}

}  // namespace

bool GrantAccountAccess(const std::string& path, const void* sid, std::uint32_t mask) {
  std::string target(TrimBlanksAndControls(path));
  if (target.empty()) return false;
  PSID account = const_cast<void*>(sid);
  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (target.size() > 1 && target.back() == '\\') target.pop_back();
    if (!GrantContents(target, account, mask)) return false;
  }
  return GrantOne(target, account, mask, false);
}

bool GrantFileAccess(const std::string& account, const std::string& path, std::uint32_t mask) {
  // First call: learn the identifier's size. The domain name is not used.
  DWORD sid_size = 0;
  char domain[1025];
  DWORD domain_size = sizeof domain;
  SID_NAME_USE use;
  LookupAccountNameA(nullptr, account.c_str(), nullptr, &sid_size, domain, &domain_size, &use);
  if (sid_size == 0) return false;
  std::vector<BYTE> sid(sid_size, 0);
  domain_size = sizeof domain;
  if (!LookupAccountNameA(nullptr, account.c_str(), sid.data(), &sid_size, domain, &domain_size,
                          &use)) {
    return false;
  }
  return GrantAccountAccess(path, sid.data(), mask);
}

}  // namespace zelk::manager
