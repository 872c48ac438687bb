#include "filter/canonical_path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace zelk::filter {
namespace {

TEST(CanonicalUrlPath, GivesThePathIisHandsTheFilter) {
  const std::pair<const char*, const char*> cases[] = {
      {"/news.asp", "/news.asp"},
      {"/a%20b/c%2Easp", "/a b/c.asp"},
      {"/a%2541", "/a%41"},    // decoded once
      {"/x%zz%4", "/x%zz%4"},  // a '%' that starts no escape stays
      {"/db%5cdata.mdb", "/db/data.mdb"},
      {"/a\\b", "/a/b"},
      {"/a/../b.mdb", "/b.mdb"},
      {"/a/%2e%2e/b.mdb", "/b.mdb"},
      {"/../../b", "/b"},  // never above the root
      {"/a/./b/.", "/a/b/"},
      {"/a/b/..", "/a/"},
      {"/%u0061sp.asp", "/asp.asp"},
      {"/x.%u0061sp", "/x.asp"},
      {"/%E4%B8%AD.mdb", "/\xD6\xD0.mdb"},  // UTF-8 from a browser becomes GBK
      {"/\xE4\xB8\xAD.mdb", "/\xD6\xD0.mdb"},
      {"/%D6%D0.mdb", "/\xD6\xD0.mdb"},  // not UTF-8: read as GBK already
      {"/%D5%5C.asp", "/\xD5\x5C.asp"},  // a GBK trail byte 0x5C is no separator
      {"/%C2%BA.asp", "/o.asp"},         // U+00BA through Windows' best fit
      {"/%uFF0Fx",
       "/\xA3\xAF"
       "x"},  // a fullwidth solidus stays a character
      // a unit inside a UTF-8 sequence: the bytes are not UTF-8 (this once
      // never returned)
      {"/%E4%u0041%B8%AD",
       "/\xE4"
       "A\xB8\xAD"},
      {"/\xC3%u0000\x82", "/\xC3\x82"},
      {"", ""},
      // Plain paths stay as they are; a dot only counts as a whole segment.
      {"/a//b/", "/a//b/"},
      {"/.a/b./..c/x..", "/.a/b./..c/x.."},
      {"a/b", "a/b"},
      {"/.", "/"},
      {"/..", "/"},
      {"/a/.", "/a/"},
      {"./a", "a"},
  };
  for (const auto& [raw, url] : cases) EXPECT_EQ(CanonicalUrlPath(raw), url) << raw;
}

// Plain paths are recognised eight bytes at a time; whatever makes a path
// need work is found at every offset of a block and of the tail.
TEST(CanonicalUrlPath, FindsWhatNeedsWorkAtEveryOffset) {
  const std::pair<std::string, std::string> pieces[] = {
      {"%41", "A"}, {"\\", "/"}, {"\xE4\xB8\xAD", "\xD6\xD0"}, {"/./", "/"}, {"/.", "/"}};
  for (const auto& [raw_piece, piece] : pieces) {
    for (std::size_t at = 1; at <= 20; ++at) {
      const std::string head = "/" + std::string(at - 1, 'a');
      for (const std::string tail : {"", "b", "bbbbbbbbbbbbbbbbbbb"}) {
        if (raw_piece == "/." && !tail.empty()) continue;  // a dot segment only at the end
        const std::string raw = head + raw_piece + tail;
        EXPECT_EQ(CanonicalUrlPath(raw), head + piece + tail) << raw;
      }
    }
  }
}

}  // namespace
}  // namespace zelk::filter
