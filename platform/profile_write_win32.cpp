#include <windows.h>
// <windows.h> maps WriteProfileString to the Win32 WriteProfileStringA (win.ini);
// ours is a different function.
#undef WriteProfileString

#include "platform/profile.h"

namespace zelk::platform {

bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value) {
  // Line breaks would let one value turn into further keys of the file; the
  // Linux writer refuses them, and so does this one, so the two stay alike.
  for (const std::string* s : {&section, &key, &value}) {
    if (s->find_first_of("\r\n") != std::string::npos) return false;
  }
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str()) !=
         0;
}

}  // namespace zelk::platform
