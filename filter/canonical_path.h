// The URL path as IIS hands it to a filter in the URL server variable, from
// the path of the request target as the client sent it.
#pragma once

#include <string>
#include <string_view>

namespace zelk::filter {

// Decodes "%XX" and "%uXXXX" once; reads the decoded bytes as UTF-8 when they
// are valid UTF-8 (what browsers send) and as code page 936 otherwise, as IIS
// does on a Chinese server; turns '\' into '/' and resolves "." and ".."
// segments ("/a/../b" is "/b"; ".." never climbs above the root). The result
// is GBK: "/%E4%B8%AD.mdb" gives "/中.mdb". A '%' that starts no escape stays.
std::string CanonicalUrlPath(std::string_view raw_path);

// The same without a copy for a path that is its own canonical form (plain
// ASCII, nothing to decode, no '\', "." or ".."): the view is raw_path
// itself then, and *storage otherwise.
std::string_view CanonicalUrlPath(std::string_view raw_path, std::string* storage);

}  // namespace zelk::filter
