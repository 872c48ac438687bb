#include <limits>

#include "platform/profile.h"
#include "platform/text.h"

namespace zelk::platform {

bool ParseProfileInt(const std::string& text, long long* value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  unsigned long long result = 0;
  const unsigned long long limit =
      static_cast<unsigned long long>(std::numeric_limits<long long>::max());
  for (; i < text.size(); ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0 || digit >= base) return false;
    if (result > (limit - static_cast<unsigned>(digit)) / static_cast<unsigned>(base)) return false;
    result = result * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
  }
  *value = negative ? -static_cast<long long>(result) : static_cast<long long>(result);
  return true;
}

}  // namespace zelk::platform
