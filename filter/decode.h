// Pure text functions of the request rules: query decoding and URL extension.
#pragma once

#include <string>
#include <string_view>

namespace zelk::filter {

// Decodes a query string or cookie once, as the injection checks see it:
// '+' becomes a space; "%uXXXX" (lower-case u, up to four hex digits) becomes
// the UTF-16 code unit converted to GBK ('?' when unmapped); "%XX" (up to two
// hex digits) becomes that byte. An escape with a non-hex digit, or of value
// 0, is dropped together with the bytes it consumed; a '%' near the end takes
// whatever bytes remain.
std::string DecodeQueryText(std::string_view text);

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

}  // namespace zelk::filter
