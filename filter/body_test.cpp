#include "filter/body.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zelk::filter {
namespace {

TEST(ContentType, MediaTypeAndBoundary) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"multipart/form-data; boundary=----WebKitFormBoundary7MA4", "multipart/form-data",
       "----WebKitFormBoundary7MA4"},
      {"Multipart/Form-Data;Boundary=\"a b;c\"", "multipart/form-data", "a b;c"},
      {" application/x-www-form-urlencoded ; charset=gb2312", "application/x-www-form-urlencoded",
       ""},
      {"multipart/form-data; xboundary=1; boundary=2", "multipart/form-data", "2"},
      {"application/json", "application/json", ""},
      {"", "", ""},
  };
  for (const auto& [ct, media, boundary] : cases) {
    EXPECT_EQ(MediaTypeOf(ct), media) << ct;
    EXPECT_EQ(BoundaryOf(ct), boundary) << ct;
  }
}

TEST(UnescapeJsonStrings, UndoesWhatAParserUndoes) {
  const std::pair<const char*, std::string> cases[] = {
      {R"({"u":"admin\u0027 or 1=1--"})", R"({"u":"admin' or 1=1--"})"},
      {R"(["a\"b","c\\d","e\/f"])", R"(["a"b","c\d","e/f"])"},
      {R"("\n\t\r")", "\"\n\t\r\""},
      {R"("\u4e2d")", "\"\xD6\xD0\""},
      {R"("\uD83D\uDE00x")", "\"?x\""},  // a pair outside GBK is one '?'
      {R"("\u0000x")", "\"x\""},
      {R"("\x41\u12")", R"("\x41\u12")"},  // not escapes: kept
      {"\\", "\\"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(UnescapeJsonStrings(in), out) << in;
}

TEST(ParsePartHeaders, FindsNameAndFileNameAsUploadCodeDoes) {
  struct Case {
    const char* block;
    const char* name;
    std::optional<std::string> file;
  };
  const Case cases[] = {
      {"Content-Disposition: form-data; name=\"title\"", "title", std::nullopt},
      {"Content-Disposition: form-data; name=\"f\"; filename=\"a.jpg\"\r\nContent-Type: image/jpeg",
       "f", "a.jpg"},
      {"content-disposition: form-data; FILENAME=shell.asp; NAME=f", "f", "shell.asp"},
      {"Content-Disposition: form-data; name=\"f\"; filename=\"\"", "f", ""},
      {"Content-Disposition: form-data; name=\"f\"; filename=\"C:\\x\\1.asp;.jpg\"", "f",
       "C:\\x\\1.asp;.jpg"},
      {"", "", std::nullopt},
  };
  for (const Case& c : cases) {
    const PartHeaders h = ParsePartHeaders(c.block);
    EXPECT_EQ(h.name, c.name) << c.block;
    EXPECT_EQ(h.file_name, c.file) << c.block;
  }
}

// Records what the parser hands on: "begin name[file]", the data joined, "end".
struct Recorder : MultipartParser::Handler {
  std::vector<std::string> events;
  void BeginPart(const PartHeaders& h) override {
    events.push_back("begin " + h.name + (h.file_name ? "[" + *h.file_name + "]" : ""));
    events.emplace_back();
  }
  void PartData(std::string_view b) override {
    if (events.empty()) events.emplace_back();
    events.back().append(b);
  }
  void EndPart() override { events.push_back("end"); }
};

std::vector<std::string> Parse(const std::string& body, std::size_t piece,
                               const std::string& boundary = "B") {
  Recorder r;
  MultipartParser parser(boundary, r);
  for (std::size_t i = 0; i < body.size(); i += piece) parser.Feed(body.substr(i, piece));
  parser.Finish();
  return r.events;
}

TEST(MultipartParser, GivesThePartsWhateverThePieces) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      {"--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n"
       "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"x.gif\"\r\n\r\n"
       "GIF89a\r\n--Bx\r\n\r\n--B--\r\nepilogue",
       // "--B" at a line start splits whatever follows it, as plain upload code does
       {"begin a", "1", "end", "begin f[x.gif]", "GIF89a", "end", "begin ", "", "end"}},
      // a preamble, bare LF line ends, transport padding after the delimiter
      {"preamble\n--B  \nContent-Disposition: form-data; name=\"a\"\n\nv\n--B--",
       {"begin a", "v", "end"}},
      // an empty part, then a body cut off in the middle of a part
      {"--B\r\nContent-Disposition: form-data; name=\"e\"\r\n\r\n\r\n--B\r\n"
       "Content-Disposition: form-data; name=\"t\"\r\n\r\nunfinished",
       {"begin e", "", "end", "begin t", "unfinished", "end"}},
      // cut off inside a header block: the name still counts
      {"--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"s.asp\"",
       {"begin f[s.asp]", "", "end"}},
      {"no delimiter at all", {}},
      // a delimiter without its own line end never counts, even once the
      // preamble or data before it has been passed over
      {"preamble text--B\r\nname=\"p\"\r\n\r\nx", {}},
      {"--B\r\nname=\"a\"\r\n\r\n0123456789--B\r\n\r\nx",
       {"begin a", "0123456789--B\r\n\r\nx", "end"}},
      // padding after a delimiter is bounded whether or not its line end
      // came in the same piece: past the bound it is read as header text
      {"--B" + std::string(1100, ' ') + "\r\nname=\"a\"\r\n\r\nv", {"begin a", "v", "end"}},
  };
  for (const auto& [body, expected] : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, body.size()}) {
      EXPECT_EQ(Parse(body, piece), expected) << "piece " << piece << ": " << body;
    }
  }
}

TEST(MultipartParser, EndlessHeadersBecomeOneFilePartOfUnknownKind) {
  const std::string body =
      "--B\r\nContent-Disposition: form-data; name=\"x\"\r\nX-Pad: " + std::string(40000, 'a');
  Recorder r;
  MultipartParser parser("B", r);
  parser.Feed(body);
  parser.Finish();
  EXPECT_TRUE(parser.malformed());
  ASSERT_EQ(r.events.size(), 3u);
  EXPECT_EQ(r.events[0], "begin x[]");
  EXPECT_EQ(r.events[1].size(), body.size() - 5);  // everything after the delimiter line
  EXPECT_EQ(r.events[2], "end");
}

TEST(MultipartParser, ALargePartOfDashesPassesThroughWhole) {
  struct Counter : MultipartParser::Handler {
    std::size_t bytes = 0, parts = 0;
    void BeginPart(const PartHeaders&) override { ++parts; }
    void PartData(std::string_view b) override { bytes += b.size(); }
    void EndPart() override {}
  } counter;
  MultipartParser parser("B", counter);
  parser.Feed("--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n\r\n");
  const std::string piece(64 * 1024, '-');  // dashes: every byte could start a delimiter
  for (int i = 0; i < 160; ++i) parser.Feed(piece);
  parser.Feed("\r\n--B--\r\n");
  parser.Finish();
  EXPECT_EQ(counter.parts, 1u);
  EXPECT_EQ(counter.bytes, piece.size() * 160);
}

}  // namespace
}  // namespace zelk::filter
