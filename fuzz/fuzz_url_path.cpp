// The URL path rules: the canonical path IIS hands the filter, IIS 6's
// reading of a path (extension, script segment, web-shell forms), the
// extension list of DenyFileExtDown and the upload name test of DenyShell.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "filter/backdoor.h"
#include "filter/canonical_path.h"
#include "filter/decode.h"
#include "fuzz/check.h"
#include "platform/text.h"

using namespace zelk::filter;

namespace {

bool IsPlainExtension(std::string_view ext) {
  if (ext.empty()) return false;
  for (char c : ext) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// IIS 6's reading of a path written the plain way, to hold ReadUrlPath's
// one-pass version to: the segments listed first, then judged.
std::string_view ReferenceExt(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (zelk::IsGbkPair(path, i)) {
      ++i;
    } else if (path[i] == '.' || path[i] == '\\' || path[i] == ':') {
      found = i;
    }
  }
  if (found == std::string_view::npos || path[found] != '.') return {};
  return path.substr(found + 1);
}

UrlPathView ReferenceReadUrlPath(std::string_view url) {
  struct Segment {
    std::string_view ext;
    bool cut = false;
  };
  std::vector<Segment> segments;
  std::size_t start = 0;
  const auto add = [&](std::size_t end) {
    std::string_view name = url.substr(start, end - start);
    Segment s;
    if (name.find(';') != std::string_view::npos) {
      name = name.substr(0, name.find(';'));
      s.cut = true;
    }
    s.ext = ReferenceExt(StripFileSystemTrailers(name));
    segments.push_back(s);
  };
  for (std::size_t i = 0; i < url.size(); ++i) {
    if (zelk::IsGbkPair(url, i)) {
      ++i;
    } else if (url[i] == '/' || url[i] == '\\') {
      add(i);
      start = i + 1;
    }
  }
  add(url.size());
  UrlPathView view;
  view.last_ext = ReferenceExt(StripFileSystemTrailers(url));
  const Segment& last = segments.back();
  view.folder_like = last.ext.empty() && !last.cut;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const bool has_path_info = i + 1 < segments.size();
    const std::string lower = zelk::ToAsciiLower(segments[i].ext);
    if (IsScriptExtension(lower)) {
      if (!view.script) {
        view.script = true;
        view.script_ext = segments[i].ext;
      }
      if (segments[i].cut || (has_path_info && !last.ext.empty())) view.shell_form = true;
    }
    if (has_path_info && (lower == "cer" || lower == "asa" || lower == "cdx")) {
      view.shell_form = true;
    }
  }
  return view;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view raw, list;
  zelk::fuzz::SplitAt(zelk::fuzz::AsText(data, size), "\n|", &raw, &list);

  // The canonical path: every "." and ".." segment resolved, none left.
  const std::string path = CanonicalUrlPath(raw);
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t end = path.find('/', begin);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment(path.data() + begin, end - begin);
    FUZZ_CHECK(segment != "." && segment != "..");
    begin = end + 1;
  }

  for (const std::string_view url : {std::string_view(path), raw}) {
    // Trailers are stripped repeatedly, so a second strip changes nothing.
    const std::string_view stripped = StripFileSystemTrailers(url);
    FUZZ_CHECK(url.substr(0, stripped.size()) == stripped);
    FUZZ_CHECK(StripFileSystemTrailers(stripped) == stripped);

    // The extension is what follows the last dot: a suffix with no dot.
    const std::string ext = ExtractUrlExt(url);
    FUZZ_CHECK(ext.size() < url.size() || ext.empty());
    FUZZ_CHECK(url.substr(url.size() - ext.size()) == ext);
    FUZZ_CHECK(ext.find('.') == std::string::npos);

    const UrlPathView view = ReadUrlPath(url);
    const UrlPathView expected = ReferenceReadUrlPath(url);
    FUZZ_CHECK(view.last_ext == expected.last_ext && view.script_ext == expected.script_ext);
    FUZZ_CHECK(view.script == expected.script && view.folder_like == expected.folder_like);
    FUZZ_CHECK(view.shell_form == expected.shell_form);
    // A script segment has a script extension; a web-shell form needs one.
    if (view.script) FUZZ_CHECK(IsScriptExtension(view.script_ext));
    if (!view.script) FUZZ_CHECK(view.script_ext.empty() && !view.shell_form);

    // A plain extension is always found once listed, with or without its dot
    // and in any letter case.
    if (IsPlainExtension(ext)) {
      FUZZ_CHECK(ExtensionInList(std::string(list) + "|." + ext, ext));
      FUZZ_CHECK(ExtensionInList(std::string(list) + "| " + zelk::ToAsciiLower(ext) + " |x", ext));
    }
    FUZZ_CHECK(ExtensionList(list).Contains(ext) == ExtensionInList(list, ext));
    FUZZ_CHECK(ExtensionList(list).Contains(view.script_ext) ==
               ExtensionInList(list, view.script_ext));

    // An upload named after a script file is refused however the name is
    // dressed up with trailers.
    const bool refused = IsServerScriptFileName(url);
    if (refused) {
      FUZZ_CHECK(IsServerScriptFileName(std::string(url) + ". "));
      FUZZ_CHECK(IsServerScriptFileName(std::string(url) + "::$DATA"));
    }
  }
  return 0;
}
