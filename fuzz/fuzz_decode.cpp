// The query and cookie decoder, the repeated-parameter values ASP builds, the
// address-list test of proxy headers and the log cut.
#include <cstddef>
#include <cstdint>
#include <string>

#include "filter/decode.h"
#include "fuzz/check.h"
#include "platform/text.h"

using namespace zelk::filter;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text = zelk::fuzz::AsText(data, size);

  // Decoding only ever shortens or keeps: every escape stands for fewer bytes
  // than it takes, and a stray '%' is dropped.
  const std::string decoded = DecodeQueryText(text);
  FUZZ_CHECK(decoded.size() <= text.size());

  // No escape can span '&' (it is not a hex digit), so decoding the query
  // in one piece equals decoding its parameters one by one.
  const std::size_t amp = text.find('&');
  if (amp != std::string_view::npos) {
    const std::string pieces =
        DecodeQueryText(text.substr(0, amp)) + "&" + DecodeQueryText(text.substr(amp + 1));
    FUZZ_CHECK(pieces == decoded);
  }

  // Only names seen at least twice give a value, so there are at most half
  // as many joined values as parameters.
  std::size_t parameters = 1;
  for (char c : text) parameters += c == '&';
  FUZZ_CHECK(RepeatedParameterValues(text).size() <= parameters / 2);

  (void)IsAddressList(text);

  // The log cut: the whole value when it fits; else a prefix that ends on a
  // character boundary, followed by "...".
  const std::size_t max_bytes = size == 0 ? 0 : data[0] % 64;
  const std::string cut = CutForLog(text, max_bytes);
  if (text.size() <= max_bytes) {
    FUZZ_CHECK(cut == text);
  } else {
    FUZZ_CHECK(cut.size() >= 3 && cut.compare(cut.size() - 3, 3, "...") == 0);
    const std::size_t kept = cut.size() - 3;
    FUZZ_CHECK(kept <= max_bytes && text.substr(0, kept) == cut.substr(0, kept));
    std::size_t at = 0;
    while (at < kept) at += zelk::IsGbkPair(text, at) ? 2 : 1;
    FUZZ_CHECK(at == kept);
    FUZZ_CHECK(kept + 1 >= max_bytes);  // cut short by one byte at most, for a pair
  }
  return 0;
}
