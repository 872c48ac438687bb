// Granting an account access to a file or a folder tree, so that the web
// server's worker processes can load the filter module, read its settings and
// white list and write its event log.
//
// Windows: the account name is looked up on the local system and an
// access-allowed entry with the mask is put first in the path's access list,
// after every earlier entry for that account has been taken out (so granting
// twice leaves one entry). A folder's contents get the entry as inherited
// before the folder itself gets it. Works on Windows Server 2003 and later
// (GetNamedSecurityInfoA / SetNamedSecurityInfoA).
//
// Other systems have no access lists of that kind. There the grant stands in
// with permission bits: the only account known is "Everyone" (any letter
// case), meaning owner, group and others alike; GENERIC_READ adds read (and,
// on folders, search) permission, GENERIC_WRITE write and GENERIC_EXECUTE
// execute. Nothing is ever taken away.
//
// Paths are GBK byte strings. Stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace zelk::manager {

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kGenericExecute = 0x20000000u;
inline constexpr std::uint32_t kGenericAll = 0x10000000u;

inline constexpr char kEveryone[] = "Everyone";

// Blanks and control characters around the path are dropped before it is
// used. True when the grant was written (for a folder: on the folder and
// everything below it). False, changing nothing more, for an account that cannot be
// resolved, an empty or missing path, or a path without an access list; a walk
// through a folder stops at its first failure.
bool GrantFileAccess(const std::string& account, const std::string& path, std::uint32_t mask);

// Windows only: the same with the account's security identifier (a PSID)
// already looked up.
bool GrantAccountAccess(const std::string& path, const void* sid, std::uint32_t mask);

}  // namespace zelk::manager
