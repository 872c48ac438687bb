// The query and cookie decoder, the repeated-parameter values ASP builds, the
// address-list test of proxy headers and the log cut.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

  // The joined values equal those of the plain reading: every pair split at
  // '&', its name decoded and folded to lower case, values joined with ", "
  // in order, names kept in order of first sight, those seen twice or more.
  std::vector<std::pair<std::string, std::pair<std::string, int>>> plain;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('&', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view pair = text.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    std::string name = DecodeQueryText(pair.substr(0, eq));
    for (char& c : name) c = zelk::AsciiLower(c);
    auto it =
        std::find_if(plain.begin(), plain.end(), [&](const auto& p) { return p.first == name; });
    if (it == plain.end()) it = plain.insert(plain.end(), {name, {"", 0}});
    if (it->second.second++ > 0) it->second.first += ", ";
    if (eq != std::string_view::npos) it->second.first += DecodeQueryText(pair.substr(eq + 1));
  }
  std::vector<std::string> expected;
  for (const auto& p : plain) {
    if (p.second.second > 1) expected.push_back(p.second.first);
  }
  FUZZ_CHECK(RepeatedParameterValues(text) == expected);

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
