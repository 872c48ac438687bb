// The JSON string unescaper the body rules match on: never longer than its
// input (each escape gives fewer bytes than it takes) and a fixed point on a
// text without backslashes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/body.h"
#include "fuzz/check.h"

using namespace zelk::filter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view json = zelk::fuzz::AsText(data, size);
  const std::string text = UnescapeJsonStrings(json);
  FUZZ_CHECK(text.size() <= json.size());
  if (json.find('\\') == std::string_view::npos) FUZZ_CHECK(text == json);
  // Unescaping works escape by escape: cutting the input just before a
  // backslash cuts the output at the matching place.
  const std::size_t slash = json.rfind('\\');
  if (slash != std::string_view::npos) {
    const std::string head = UnescapeJsonStrings(json.substr(0, slash));
    FUZZ_CHECK(text.compare(0, head.size(), head) == 0);
  }
  return 0;
}
