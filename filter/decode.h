// Pure text functions of the request rules: decoding as ASP decodes, the
// parameters ASP builds from a query string, and the reading of a URL path as
// IIS 6 maps it to a script or a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::filter {

// Decodes a query string or cookie once, as ASP decodes it for the page:
// '+' becomes a space; "%XX" (two hex digits) becomes that byte; "%uXXXX" or
// "%UXXXX" (four hex digits) becomes the code-page-936 bytes Windows' best-fit
// conversion gives for that UTF-16 unit; "%00" and "%u0000" vanish. A '%'
// that does not start such an escape is dropped and the bytes after it are
// kept ("un%ion" reads "union"). Decoding is done once: "%2527" gives "%27".
std::string DecodeQueryText(std::string_view text);
// The same appended to *decoded.
void AppendDecodedQueryText(std::string_view text, std::string* decoded);

// False when DecodeQueryText would return the text as it is (it holds no
// '%' and no '+'), so that a caller can read it without a copy.
bool QueryTextNeedsDecoding(std::string_view text);

// The values ASP gives the page for names that occur more than once in a
// query string: the decoded values of each such name joined with ", " (names
// compared as ASP does, ignoring ASCII letter case). The query is split at
// '&' before decoding, so an escaped "%26" is an ordinary byte of a value.
// Names that occur once are not listed: the whole query string covers them.
std::vector<std::string> RepeatedParameterValues(std::string_view query);

// The extension of a path: the bytes after its last '.', provided no '\' or
// ':' comes later (the second byte of a GBK character never counts). '/' is
// not a separator, so "/a.b/c" gives "b/c". Empty when there is none.
std::string ExtractUrlExt(std::string_view path);

// The path as the file system resolves it: trailing dots and spaces and a
// trailing "::$DATA" stream name (any letter case) removed, repeatedly, so
// "/db/data.mdb. ", "/db/data.mdb::$DATA" and "/db/data.mdb" name one file.
std::string_view StripFileSystemTrailers(std::string_view path);

// asp, aspx, asa, cer, cdx, php, phtml, ... (prefixes "as", "cer", "cdx",
// "ph", any ASCII letter case).
bool IsScriptExtension(std::string_view ext);

// How IIS 6 reads a decoded path. It scans the segments from the left, each
// cut at its first ';', and runs the first one whose extension is mapped to a
// script engine, taking the rest as path info: "/news.asp/x.jpg" runs
// news.asp, and so do "/upload/shell.asp;.jpg" and, when x.asp is a folder,
// "/upload/x.asp/evil.jpg". Both '/' and '\' separate segments.
// The extensions are views into the path read: it must outlive them.
struct UrlPathView {
  std::string_view last_ext;    // ExtractUrlExt of the path as the file system resolves it
  std::string_view script_ext;  // extension of the first script segment; empty when none
  bool script = false;          // a script segment was found
  bool folder_like = false;  // the last segment has no extension (a folder or its default document)
  // The web-shell forms of IIS 6's parsing: a script extension followed by
  // ';', a segment named with a script extension that holds a file, and a
  // ".cer", ".asa" or ".cdx" segment followed by path info.
  bool shell_form = false;
};

UrlPathView ReadUrlPath(std::string_view url);

// True when ext equals one entry of a '|'-separated list; entries are
// compared whole, with or without their leading dot, ignoring ASCII case and
// surrounding blanks. An empty ext or entry never matches.
bool ExtensionInList(std::string_view list, std::string_view ext);

// The same list read once, for the rules that consult it on every request:
// Contains(ext) == ExtensionInList(list, ext).
class ExtensionList {
 public:
  explicit ExtensionList(std::string_view list = {});
  bool Contains(std::string_view ext) const;

 private:
  struct Entry {
    std::string text;         // trimmed, without the dot, in lower case
    std::uint64_t packed{0};  // its bytes in one word when it has at most eight
  };
  std::vector<Entry> entries_;
  // Bit (b & 31) set for the first byte b of every entry: most extensions
  // asked about share no first byte with any entry and are answered here.
  std::uint32_t first_bytes_ = 0;
};

// True when the header value is a list of client addresses as proxies write
// them (X-Forwarded-For and the like): IPv4 or IPv6 addresses, optionally with
// a port or in brackets, or "unknown", separated by commas and blanks.
bool IsAddressList(std::string_view value);

// The first max_bytes bytes of a value for the event log, with "..." added
// when it was cut; a GBK character is never split.
std::string CutForLog(std::string_view value, std::size_t max_bytes = 1024);

}  // namespace zelk::filter
