#include <windows.h>
// <windows.h> maps GetProfileString to the Win32 GetProfileStringA (win.ini);
// ours is a different function.
#undef GetProfileString

#include <vector>

#include "platform/profile.h"

namespace zelk::platform {

// The paths handed in here are always absolute: GetPrivateProfileStringA
// looks for a bare file name in the Windows folder, not the current one.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& default_value,
                             std::size_t buffer_size) {
  if (buffer_size == 0) return std::string();
  // The API takes a DWORD size; a larger buffer than that is never needed.
  const DWORD size = buffer_size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(buffer_size);
  std::vector<char> buffer(size, '\0');
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                           buffer.data(), size, path.c_str());
  return std::string(buffer.data(), n < size ? n : size - 1);
}

}  // namespace zelk::platform
