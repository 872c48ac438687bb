#include "filter/builtin_patterns.h"

#include <cstddef>

namespace zelk::filter {
namespace {
#include "filter/builtin_patterns.inc"
}  // namespace

std::string_view BuiltinPatternScrambled(int number) {
  switch (number) {
    case 1:
      return {kBuiltinText1, kBuiltinText1Size};
    case 2:
      return {kBuiltinText2, kBuiltinText2Size};
    case 3:
      return {kBuiltinText3, kBuiltinText3Size};
    default:
      return {};
  }
}

std::string_view BuiltinFastPatternScrambled(int number) {
  switch (number) {
    case 1:
      return {kBuiltinFastText1, kBuiltinFastText1Size};
    case 2:
      return {kBuiltinFastText2, kBuiltinFastText2Size};
    default:
      return BuiltinPatternScrambled(number);
  }
}

}  // namespace zelk::filter
