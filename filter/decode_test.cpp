#include "filter/decode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelk::filter {
namespace {

struct DecodeCase {
  const char* input;
  std::string expected;
};

TEST(DecodeQueryText, DecodesOnceAsAspDoes) {
  const DecodeCase cases[] = {
      {"a+b", "a b"},
      {"%27", "'"},
      {"%2527", "%27"},  // decoded once only
      {"%00x", "x"},     // NUL vanishes
      {"%u0000x", "x"},
      {"%u0027", "'"},
      {"%U0027", "'"},         // either letter case of u
      {"%u4e2d", "\xD6\xD0"},  // U+4E2D in GBK
      {"%u20AC", "\x80"},      // the euro sign is 0x80 in code page 936
      {"%u00BA", "o"},         // Windows' best-fit mapping, on every platform
      {"%uD800", "?"},         // a lone surrogate has no mapping
      // A '%' that starts no valid escape is dropped; what follows is kept.
      {"un%ion se%lect", "union select"},
      {"admin%'--", "admin'--"},
      {"%uzz41B", "uzz41B"},
      {"%zzA", "zzA"},
      {"%4", "4"},
      {"ab%", "ab"},
      {"%u41", "u41"},
      {"%u", "u"},
      {"%%41", "A"},
      {"%%2527", "%27"},
      {"%e4%b8%ad", "\xE4\xB8\xAD"},
      {"1%20union%0bselect", "1 union\x0bselect"},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeQueryText(c.input), c.expected) << "input: " << c.input;
  }
}

// Texts are looked through for '%' and '+' a block at a time: either byte
// is found at every offset of a block and of the tail.
TEST(DecodeQueryText, DecodesAnEscapeOrPlusAtEveryOffset) {
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      std::string text(length, 'a');
      text[at] = '+';
      std::string expected = text;
      expected[at] = ' ';
      EXPECT_EQ(DecodeQueryText(text), expected) << text;
      text.replace(at, 1, "%41");
      expected[at] = 'A';
      EXPECT_EQ(DecodeQueryText(text), expected) << text;
    }
  }
}

TEST(RepeatedParameterValues, JoinsRepeatedNamesAsAspDoes) {
  using V = std::vector<std::string>;
  const std::pair<const char*, V> cases[] = {
      {"id=1", {}},
      {"id=1&page=2", {}},
      {"id=1+and/*&id=*/1=2", {"1 and/*, */1=2"}},
      {"ID=1&id=2&Id=3", {"1, 2, 3"}},  // names ignore ASCII case
      {"b=1&ab=2&a=3&B=4", {"1, 4"}},   // a name that prefixes another is another
      {"zz=1&y=2&x=3&w=4", {}},
      {"a=1&b=2&a=3&b=4", {"1, 3", "2, 4"}},
      {"a=1&A=2&b=3&b=4&a=5", {"1, 2, 5", "3, 4"}},  // runs of one name, and back
      {"i%64=1&id=2", {"1, 2"}},                     // names are decoded too
      {"I%44=1+x&iD=%41", {"1 x, A"}},               // ... and then compared ignoring case
      {"id=1%26id%3D2&id=3", {"1&id=2, 3"}},         // an escaped '&' is part of the value
      {"id&id=x", {", x"}},
      {"&&id=1&&id=2&", {"1, 2"}},
      // runs of the same pair, cut short by a longer value, "&&" or the end
      {"x=%27&x=%27&x=%27", {"', ', '"}},
      {"a=1&a=1&a=12&a=1&&a=1&b", {"1, 1, 12, 1, 1"}},
      {"k&k&k&K=", {", , , "}},
      {"k'&&k'&&&k'&k'=1&&k'&&", {", , , 1, "}},  // runs of '&' inside a run of pairs
      {"", {}},
  };
  for (const auto& [query, expected] : cases) {
    EXPECT_EQ(RepeatedParameterValues(query), expected) << query;
  }
  // Past the few dozen names that are settled by hashing, the names are
  // compared the long way; a repeat or an escaped name late in the query
  // still counts.
  std::string many;
  for (int i = 0; i < 40; ++i) many += "p" + std::to_string(i) + "=" + std::to_string(i) + "&";
  EXPECT_EQ(RepeatedParameterValues(many), V{});
  EXPECT_EQ(RepeatedParameterValues(many + "P3=x"), V{"3, x"});
  EXPECT_EQ(RepeatedParameterValues(many + "p%33%39=y"), V{"39, y"});
  EXPECT_EQ(RepeatedParameterValues(many + "id=1+and/*&p0=0&id=*/1=2"),
            (V{"0, 0", "1 and/*, */1=2"}));
}

TEST(ReadUrlPath, FindsTheScriptIisWouldRun) {
  struct Case {
    const char* url;
    const char* script_ext;  // "" when no segment is a script
    bool folder_like, shell_form;
    const char* last_ext;
  };
  const Case cases[] = {
      {"/news.asp", "asp", false, false, "asp"},
      {"/upload/photo.jpg", "", false, false, "jpg"},
      {"/", "", true, false, ""},
      {"/news/", "", true, false, ""},
      {"/download", "", true, false, ""},
      {"/asp/x.jpg", "", false, false, "jpg"},           // a folder named asp
      {"/news.asp/123", "asp", true, false, "asp/123"},  // path info
      {"/news.asp/x.jpg", "asp", false, true, "jpg"},    // a script folder holding a file
      {"/upload/shell.asp;.jpg", "asp", false, true, "jpg"},
      {"/upload/shell.asp.;x.jpg", "asp", false, true, "jpg"},
      {"/upload/shell.cer/x", "cer", true, true, "cer/x"},
      {"/upload/a.asa/", "asa", true, true, "asa/"},
      {"/upload\\x.asp\\evil.jpg", "asp", false, true, "jpg"},
      {"/a.b/c", "", true, false, "b/c"},
      {"/x.PHP", "PHP", false, false, "PHP"},
      {"/x.aspx.", "aspx", false, false, "aspx"},
      // 0x5C after a lead byte is part of a character; after 0x81 0x7F it is a separator.
      {"/\xD5\x5C.asp", "asp", false, false, "asp"},
      {"/\x81\x7F\\x.asp\\y.jpg", "asp", false, true, "jpg"},
  };
  for (const Case& c : cases) {
    const UrlPathView v = ReadUrlPath(c.url);
    EXPECT_EQ(v.script_ext, c.script_ext) << c.url;
    EXPECT_EQ(v.script, *c.script_ext != 0) << c.url;
    EXPECT_EQ(v.folder_like, c.folder_like) << c.url;
    EXPECT_EQ(v.shell_form, c.shell_form) << c.url;
    EXPECT_EQ(v.last_ext, c.last_ext) << c.url;
  }
}

// ExtensionInList reads the list each time; ExtensionList reads it once and
// must answer the same.
TEST(ExtensionInList, ComparesWholeEntries) {
  const auto both = [](const char* list, const std::string& ext) {
    const bool found = ExtensionInList(list, ext);
    EXPECT_EQ(ExtensionList(list).Contains(ext), found) << list << " " << ext;
    return found;
  };
  const char* list = ".mdb|.inc|.bak|.asa|.cer|.cdx|.Backup01|.database|";
  for (const char* ext : {"mdb", "MDB", "Inc", "cdx", "backup01", "DataBase"})
    EXPECT_TRUE(both(list, ext)) << ext;
  const std::string absent[] = {"md",
                                "c",
                                "cd",
                                "as",
                                "mdbx",
                                "",
                                "b/c",
                                "|",
                                "backup0",
                                "backup011",
                                "databas",
                                "databasex",
                                std::string("mdb\0", 4)};
  for (const std::string& ext : absent) {
    EXPECT_FALSE(both(list, ext)) << ext;
  }
  EXPECT_TRUE(both("zip| rar |", "rar"));  // without dots, with blanks
  EXPECT_FALSE(both("", "mdb"));
  EXPECT_FALSE(both("||.|", ""));
}

TEST(IsAddressList, AcceptsWhatProxiesWrite) {
  for (const char* v : {"1.2.3.4", "1.2.3.4, 10.0.0.1", "1.2.3.4,10.0.0.1", "unknown, 1.2.3.4",
                        "::1", "2001:db8::8a2e:370:7334", "[2001:db8::1]:443", "1.2.3.4:8080",
                        "::ffff:192.168.0.1", " 1.2.3.4 "}) {
    EXPECT_TRUE(IsAddressList(v)) << v;
  }
  for (const char* v : {"1.1.1.1',(select top 1 password from admin))--", "1.2.3", "1.2.3.256",
                        "1.2.3.4 or 1=1", "localhost", "1.2.3.4:80a", "[::1", "abc"}) {
    EXPECT_FALSE(IsAddressList(v)) << v;
  }
}

TEST(CutForLog, CutsAtTheLimitWithoutSplittingACharacter) {
  EXPECT_EQ(CutForLog("abc", 3), "abc");
  EXPECT_EQ(CutForLog("abcd", 3), "abc...");
  EXPECT_EQ(CutForLog("a\xD6\xD0"
                      "b",
                      2),
            "a...");  // the character would be split
  EXPECT_EQ(CutForLog("a\xD6\xD0"
                      "b",
                      3),
            "a\xD6\xD0...");
  EXPECT_EQ(CutForLog(std::string(4000, 'x')).size(), 1024u + 3);
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
                          "phtml", "ASPX", "Php", "as", "CDX", "ph", "CeRx"}) {
    EXPECT_TRUE(IsScriptExtension(ext)) << ext;
  }
  for (const char* ext :
       {"", "a", "htm", "jsp", "ce", "cd", "p", "xasp", "gif", "cex", "cdr", "ap", "pa", "c"}) {
    EXPECT_FALSE(IsScriptExtension(ext)) << ext;
  }
}

}  // namespace
}  // namespace zelk::filter
