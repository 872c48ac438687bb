// The grant on the system's own access lists, read back through the same API.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "manager/iis/access_grant.h"
#include "platform/files.h"
#include "testing/files.h"

namespace zelk::manager {
namespace {

using testing::TempDir;

struct Entry {
  BYTE type;
  BYTE flags;
  bool everyone;
};

std::vector<Entry> ReadEntries(const std::string& path) {
  std::vector<Entry> entries;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoA(const_cast<char*>(path.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &sd) != ERROR_SUCCESS) {
    ADD_FAILURE() << "GetNamedSecurityInfoA " << path;
    return entries;
  }
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) break;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const bool plain = allowed->Header.AceType <= ACCESS_DENIED_ACE_TYPE;
    entries.push_back({allowed->Header.AceType, allowed->Header.AceFlags,
                       plain && EqualSid(&allowed->SidStart, everyone)});
  }
  FreeSid(everyone);
  LocalFree(sd);
  return entries;
}

int AllowedForEveryone(const std::vector<Entry>& entries) {
  int n = 0;
  for (const auto& e : entries) n += e.everyone && e.type == ACCESS_ALLOWED_ACE_TYPE;
  return n;
}

// Granting twice must leave one entry for the account, not two. (Windows keeps
// it first with the flags asked for; Wine rebuilds the list from the file's
// modes, so neither is checked here.)
TEST(GrantFileAccessWin32, LeavesOneAllowedEntryForEveryone) {
  TempDir dir;
  const std::string file = dir.path() + "ZelkWAF.dll";
  const std::string folder = dir.path() + "IIS";
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(file, "MZ", &error)) << error;
  ASSERT_TRUE(platform::CreateDirectories(folder));
  for (const std::string& path : {file, folder}) {
    ASSERT_TRUE(GrantFileAccess(kEveryone, path, kGenericRead | kGenericExecute)) << path;
    ASSERT_TRUE(GrantFileAccess(kEveryone, path, kGenericRead | kGenericExecute)) << path;
    EXPECT_EQ(AllowedForEveryone(ReadEntries(path)), 1) << path;
  }
}

TEST(GrantAccountAccess, RefusesAnInvalidIdentifier) {
  TempDir dir;
  const std::string file = dir.path() + "ZelkWAF.ini";
  std::string error;
  ASSERT_TRUE(platform::WriteWholeFile(file, "x", &error)) << error;
  const BYTE not_a_sid[16] = {9, 9, 9};
  EXPECT_FALSE(GrantAccountAccess(file, not_a_sid, kGenericRead));
  EXPECT_FALSE(GrantAccountAccess(file, nullptr, kGenericRead));
}

}  // namespace
}  // namespace zelk::manager
