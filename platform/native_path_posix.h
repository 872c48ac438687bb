// How the Linux platform files emulate the Windows ANSI file API: paths inside
// the system are GBK byte strings; names on disk are UTF-8. Used by the
// _posix.cpp files only (Windows passes GBK paths to the A functions as they
// are).
#pragma once

#include <string>
#include <string_view>

namespace zelk::platform {

// GBK path -> the bytes the file system holds (UTF-8). ASCII stays as it is.
std::string NativePath(const std::string& gbk);

// A name from the file system -> GBK. A name that is not valid UTF-8 is kept
// as it stands.
std::string FromNativeName(const std::string& name);

// Well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF) to UTF-16; false for anything else.
bool DecodeUtf8(std::string_view text, std::u16string* out);

}  // namespace zelk::platform
