// What the web-shell scanner asks of a file besides its bytes: whether it is
// a link, where a link leads, the first bytes alone, and the owner's account
// name. Paths are GBK byte strings, as in platform/files.h.
//
// Windows treats every reparse point (symbolic link, junction, mount point)
// as a link and cannot tell where it leads on the oldest systems we serve
// (GetFinalPathNameByHandle is Vista and later), so ResolveLink gives "" there
// and a walk skips such entries. Linux resolves links with realpath.
#pragma once

#include <cstddef>
#include <string>

namespace zelk::platform {

// True when the path itself (not what it points to) is a symbolic link or
// reparse point.
bool IsLink(const std::string& path);

// The absolute path with every link resolved; "" when that cannot be told
// (Windows) or the target does not exist.
std::string ResolveLink(const std::string& path);

// Up to max_bytes from the start of the file; false (with *error) when it
// cannot be opened or read.
bool ReadFileHead(const std::string& path, std::size_t max_bytes, std::string* bytes,
                  std::string* error);

// The account name of the file's owner ("www-data", "Administrators"); ""
// when it cannot be told.
std::string FileOwner(const std::string& path);

// Moves a file, keeping its bytes and last-write time, also to another
// volume (Windows: MoveFileExA with MOVEFILE_COPY_ALLOWED; Linux: rename, or
// copy, set the time and remove across file systems). Fails when `to`
// exists.
bool MoveFileKeepingTime(const std::string& from, const std::string& to, std::string* error);

}  // namespace zelk::platform
