// The raw request parser of zelkwaf-filter and the run of a parsed request
// through the filter core. A parsed request written out again (with its body
// under a Content-Length) parses to the same request.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "filter/host/host_server.h"
#include "filter/module.h"
#include "fuzz/check.h"
#include "platform/text.h"

using namespace zelk::filter;
using namespace zelk::filter::host;

namespace {

bool IsFramingHeader(const std::string& name) {
  return zelk::EqualsIgnoreAsciiCase(name, "Content-Length") ||
         zelk::EqualsIgnoreAsciiCase(name, "Transfer-Encoding");
}

std::string WriteOut(const HttpRequest& r) {
  std::string text = r.method + " " + r.target + " HTTP/1.1\r\n";
  for (const auto& [name, value] : r.headers) {
    if (!IsFramingHeader(name)) text += name + ": " + value + "\r\n";
  }
  text += "Content-Length: " + std::to_string(r.body.size()) + "\r\n\r\n" + r.body;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Module* module = LoadDefaultModule().release();

  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<HttpRequest> request = ParseRawRequest(text, &error);
  if (!request) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  FUZZ_CHECK(!request->method.empty() && !request->target.empty());
  FUZZ_CHECK(request->body.size() <= text.size());

  std::string again_error;
  const std::optional<HttpRequest> again = ParseRawRequest(WriteOut(*request), &again_error);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(again->method == request->method && again->target == request->target);
  FUZZ_CHECK(again->body == request->body);
  std::size_t k = 0;
  for (const auto& header : request->headers) {
    if (IsFramingHeader(header.first)) continue;
    FUZZ_CHECK(k < again->headers.size() && again->headers[k] == header);
    ++k;
  }

  const ServeResult result = ServeRequest(*module, *request, ServeOptions{});
  FUZZ_CHECK(!result.output.empty());
  if (result.outcome == Outcome::kBlocked) FUZZ_CHECK(result.answered_by_filter);
  return 0;
}
