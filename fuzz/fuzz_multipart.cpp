// The streaming multipart/form-data parser, the part header reader and the
// Content-Type parameters. The parser must give the same parts, with the same
// names and the same bytes, however the body is cut into pieces: an attacker
// chooses the cut (TCP segments, chunk sizes).
//
// Input: one line with the Content-Type, then the body; the first byte of the
// body also seeds the piece sizes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "filter/body.h"
#include "fuzz/check.h"

using namespace zelk::filter;

namespace {

// The parts as one text: headers, then all data bytes, then the end.
class Recorder : public MultipartParser::Handler {
 public:
  void BeginPart(const PartHeaders& headers) override {
    FUZZ_CHECK(!open_);
    open_ = true;
    log_ += "[begin " + std::to_string(headers.name.size()) + ":" + headers.name;
    if (headers.file_name)
      log_ += " file " + std::to_string(headers.file_name->size()) + ":" + *headers.file_name;
    log_ += "]";
  }
  void PartData(std::string_view bytes) override {
    FUZZ_CHECK(open_);
    data_bytes_ += bytes.size();
    log_.append(bytes);
  }
  void EndPart() override {
    FUZZ_CHECK(open_);
    open_ = false;
    log_ += "[end]";
  }
  const std::string& log() const { return log_; }
  std::size_t data_bytes() const { return data_bytes_; }
  bool open() const { return open_; }

 private:
  std::string log_;
  std::size_t data_bytes_ = 0;
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view content_type, body;
  zelk::fuzz::SplitAt(zelk::fuzz::AsText(data, size), "\n", &content_type, &body);

  const std::string media = MediaTypeOf(content_type);
  FUZZ_CHECK(media.size() <= content_type.size());
  for (char c : media) FUZZ_CHECK(!(c >= 'A' && c <= 'Z') && c != ';');
  const std::string boundary = BoundaryOf(content_type);
  FUZZ_CHECK(boundary.size() <= content_type.size());
  (void)ParsePartHeaders(body);

  Recorder whole;
  {
    MultipartParser parser(boundary, whole);
    parser.Feed(body);
    parser.Finish();
    FUZZ_CHECK(!whole.open());
    // Part data is body bytes, each handed on once.
    FUZZ_CHECK(whole.data_bytes() <= body.size());
  }

  Recorder pieces;
  bool malformed_in_pieces;
  {
    MultipartParser parser(boundary, pieces);
    std::uint32_t seed = body.empty() ? 1 : static_cast<unsigned char>(body[0]) + 1;
    for (std::size_t at = 0; at < body.size();) {
      seed = seed * 1103515245u + 12345u;
      const std::size_t piece = 1 + (seed >> 16) % 97;
      parser.Feed(body.substr(at, piece));
      at += piece;
    }
    parser.Finish();
    malformed_in_pieces = parser.malformed();
  }
  if (pieces.log() != whole.log()) {
    std::fprintf(stderr, "whole:  %s\npieces: %s\n", whole.log().c_str(), pieces.log().c_str());
  }
  FUZZ_CHECK(pieces.log() == whole.log());
  {
    Recorder again;
    MultipartParser parser(boundary, again);
    parser.Feed(body);
    parser.Finish();
    FUZZ_CHECK(parser.malformed() == malformed_in_pieces);
  }
  return 0;
}
