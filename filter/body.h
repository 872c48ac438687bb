// Request bodies as the page receives them: form and JSON bodies, and
// multipart/form-data parsed as a stream, part by part.
//
// IIS 6 hands a filter no body, so bodies are read by the wildcard extension
// (and by the other hosts at the same point); the checks themselves are in
// the request rules (OnRequestBody), which read through a BodySource.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelk::filter {

// Bodies are inspected up to this many bytes. A host hands the bytes read on
// to the page and leaves the rest unread for the page to read itself, so what
// lies past the cap reaches the page uninspected; memory per request stays
// about the cap whatever the size of the body.
inline constexpr std::size_t kBodyInspectionCap = 4 * 1024 * 1024;

// Where the rules read the body from. Read fills up to `size` bytes and
// returns how many it gave; 0 means the body has ended (or cannot be read
// further). A host records what was read when it must pass it on.
class BodySource {
 public:
  virtual ~BodySource() = default;
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// "multipart/form-data" from "Multipart/Form-Data; boundary=x": the media
// type in ASCII lower case, without parameters or blanks.
std::string MediaTypeOf(std::string_view content_type);

// The boundary parameter of a Content-Type (quoted or not); empty when absent.
std::string BoundaryOf(std::string_view content_type);

// A JSON text with the escapes of its strings undone as a parser would give
// them to the page: \" \\ \/ \b \f \n \r \t and \uXXXX (through code page
// 936, as the page's ANSI strings hold them; a surrogate pair becomes "?").
// Anything that is not a valid escape is kept as it stands.
std::string UnescapeJsonStrings(std::string_view json);

// One part's headers as an upload component reads them.
struct PartHeaders {
  std::string name;
  std::optional<std::string> file_name;  // a file part, even with an empty name
};

// Reads a part's header block (the lines between the delimiter and the empty
// line). The file name is found the way upload code finds it: the first
// "filename=" anywhere in the block (any case), quoted or not.
PartHeaders ParsePartHeaders(std::string_view block);

// A streaming multipart/form-data parser: Feed takes the body in pieces of
// any size; the handler sees each part's headers, its data in pieces, and its
// end. A delimiter is "--" and the boundary at the start of a line (after CR
// LF or a bare LF), whatever follows it on that line: plain upload code splits
// there too, so no part can hide behind an odd delimiter. Memory is bounded by
// the part header limit and the delimiter length, not by the body.
// Not copyable; not thread-safe.
class MultipartParser {
 public:
  class Handler {
   public:
    virtual ~Handler() = default;
    virtual void BeginPart(const PartHeaders& headers) = 0;
    virtual void PartData(std::string_view bytes) = 0;
    virtual void EndPart() = 0;
  };

  // A part header block longer than this ends parsing: the rest of the body
  // is handed to the handler as the data of one last part, a file part (its
  // name empty unless the block names one), so the content checks see it.
  static constexpr std::size_t kMaxHeaderBlock = 16 * 1024;
  // The rest of a delimiter line (transport padding) longer than this is
  // malformed: the part headers are taken to start right after the delimiter.
  static constexpr std::size_t kMaxPaddingLine = 1024;

  MultipartParser(std::string boundary, Handler& handler);
  MultipartParser(const MultipartParser&) = delete;
  MultipartParser& operator=(const MultipartParser&) = delete;

  void Feed(std::string_view bytes);
  // The body has ended (or the inspection cap was reached): an open part ends.
  void Finish();
  bool malformed() const { return malformed_; }

 private:
  enum class State { kPreamble, kHeaders, kData, kEpilogue, kOpaque };
  void Run();
  bool FindDelimiter(std::size_t from, std::size_t* at, std::size_t* length) const;

  std::string delimiter_;  // "--" + boundary
  Handler& handler_;
  State state_ = State::kPreamble;
  std::string pending_;  // bytes not yet handed on
  bool part_open_ = false;
  bool line_start_ = true;  // pending_ begins the body, a part's data or a found delimiter
  bool malformed_ = false;
};

}  // namespace zelk::filter
