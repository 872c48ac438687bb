// Where the filter module finds its files: the folder of its own DLL.
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

namespace zelk::filter::isapi {

// The folder part of a module path, with its trailing "\" or ":" ("C:" for
// "C:ZelkWAF.dll"); empty when the path has neither. A "\" that is the second
// byte of a two-byte GBK character (0xB1 0x5C is one) belongs to the
// character and is not a separator.
inline std::string ModuleFolderOf(std::string_view path) {
  const std::size_t cut = FindLastGbkSeparator(path, "\\:");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

}  // namespace zelk::filter::isapi
