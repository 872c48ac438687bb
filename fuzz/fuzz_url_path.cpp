// The URL path rules: the canonical path IIS hands the filter, IIS 6's
// reading of a path (extension, script segment, web-shell forms), the
// extension list of DenyFileExtDown and the upload name test of DenyShell.
#include <cstddef>
#include <cstdint>
#include <string>

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
    // A script segment has a script extension; a web-shell form needs one.
    if (view.script) FUZZ_CHECK(IsScriptExtension(view.script_ext));
    if (!view.script) FUZZ_CHECK(view.script_ext.empty() && !view.shell_form);

    // A plain extension is always found once listed, with or without its dot
    // and in any letter case.
    if (IsPlainExtension(ext)) {
      FUZZ_CHECK(ExtensionInList(std::string(list) + "|." + ext, ext));
      FUZZ_CHECK(ExtensionInList(std::string(list) + "| " + zelk::ToAsciiLower(ext) + " |x", ext));
    }
    (void)ExtensionInList(list, ext);

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
