#include "filter/builtin_patterns.h"

#include <cstddef>

namespace zelk::filter {
namespace {
#include "filter/builtin_patterns.inc"

constexpr std::string_view kTexts[] = {{kBuiltinText1, kBuiltinText1Size},
                                       {kBuiltinText2, kBuiltinText2Size},
                                       {kBuiltinText3, kBuiltinText3Size}};
constexpr std::string_view kFastTexts[] = {{kBuiltinFastText1, kBuiltinFastText1Size},
                                           {kBuiltinFastText2, kBuiltinFastText2Size}};
}  // namespace

std::string_view BuiltinPatternScrambled(int number) {
  return number >= 1 && number <= 3 ? kTexts[number - 1] : std::string_view{};
}

std::string_view BuiltinFastPatternScrambled(int number) {
  return number == 1 || number == 2 ? kFastTexts[number - 1] : BuiltinPatternScrambled(number);
}

}  // namespace zelk::filter
