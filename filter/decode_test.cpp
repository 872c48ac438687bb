#include "filter/decode.h"

#include <gtest/gtest.h>

namespace zelk::filter {
namespace {

struct DecodeCase {
  const char* input;
  std::string expected;
};

TEST(DecodeQueryText, DecodesOnceWithPlusPercentAndPercentU) {
  const DecodeCase cases[] = {
      {"a+b", "a b"},
      {"%27", "'"},
      {"%2527", "%27"},  // decoded once only
      {"%00x", "x"},     // NUL vanishes
      {"%u0000x", "x"},
      {"%u0027", "'"},
      {"%U0027", "027"},       // only a lower-case u starts %u; %U0 is a bad two-digit escape
      {"%u4e2d", "\xD6\xD0"},  // U+4E2D in GBK
      {"%u20AC", "\x80"},      // the euro sign is 0x80 in code page 936
      {"%uD800", "?"},         // a lone surrogate has no mapping
      {"%uzz41B", "B"},        // bad digits: %, u and four bytes consumed, nothing added
      {"%zzA", "A"},
      {"%4", "\x04"},  // a % near the end takes what remains
      {"ab%", "ab"},
      {"%u41", "A"},
      {"%u", ""},
      {"%%41", "1"},  // "%%4" is a bad escape, then "1"
      {"%e4%b8%ad", "\xE4\xB8\xAD"},
      {"1%20union%0bselect", "1 union\x0bselect"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeQueryText(c.input), c.expected) << "input: " << c.input;
  }
}

TEST(ExtractUrlExt, TakesTheTextAfterTheLastDotUnlessASeparatorFollows) {
  const std::pair<std::string, std::string> cases[] = {
      {"/news.asp", "asp"},
      {"/a.b/c", "b/c"},
      {"/dir.asp/x", "asp/x"},
      {"/noext", ""},
      {"/x.", ""},
      {"C:\\a.b\\c", ""},
      {"/x.asp:stream", ""},
      {"/a.tar.gz", "gz"},
      // The second byte of a GBK character is no separator: 0x5C after a lead byte.
      {"/\xD5\x5C.asp", "asp"},
      {"/a.\xD5\x5C", "\xD5\x5C"},
      {"", ""},
  };
  for (const auto& [path, ext] : cases) EXPECT_EQ(ExtractUrlExt(path), ext) << path;
}

TEST(StripFileSystemTrailers, RemovesWhatTheFileSystemIgnores) {
  const std::pair<std::string, std::string> cases[] = {
      {"/db/data.mdb", "/db/data.mdb"},
      {"/db/data.mdb.", "/db/data.mdb"},
      {"/db/data.mdb ", "/db/data.mdb"},
      {"/db/data.mdb. . ", "/db/data.mdb"},
      {"/db/data.mdb::$DATA", "/db/data.mdb"},
      {"/db/data.mdb::$data", "/db/data.mdb"},
      {"/db/data.mdb::$DATA.", "/db/data.mdb"},
      {"/db/data.mdb.::$DATA", "/db/data.mdb"},
      {"/db/data.mdb:$DATA", "/db/data.mdb:$DATA"},
      {"/", "/"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(StripFileSystemTrailers(in), out) << in;
}

TEST(IsScriptExtension, MatchesTheFourPrefixesInAnyCase) {
  for (const char* ext : {"asp", "aspx", "asa", "asmx", "ashx", "cer", "cdx", "php", "php5",
                          "phtml", "ASPX", "Php", "as", "CDX"}) {
    EXPECT_TRUE(IsScriptExtension(ext)) << ext;
  }
  for (const char* ext : {"", "a", "htm", "jsp", "ce", "cd", "p", "xasp", "gif"}) {
    EXPECT_FALSE(IsScriptExtension(ext)) << ext;
  }
}

}  // namespace
}  // namespace zelk::filter
