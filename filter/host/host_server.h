// The command-line host's stand-in for the web server: it turns a raw HTTP/1.x
// request into the server variables IIS would give the filter, runs the
// notifications in IIS's order and collects exactly the bytes the client
// would receive.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "filter/context.h"
#include "filter/module.h"

namespace zelk::filter::host {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: path and query string
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // as the page would read it (chunked transfer coding undone)
};

// Parses the request line and headers up to the first empty line (CR LF or
// LF line ends), then the body that Content-Length or
// "Transfer-Encoding: chunked" announces; without either there is no body.
// Returns nullopt and sets *error for a malformed request.
std::optional<HttpRequest> ParseRawRequest(const std::string& text, std::string* error);

// "HTTP_" and the header name in upper case with '-' as '_': "HTTP_USER_AGENT".
std::string HeaderVariableName(std::string_view header);

// What IIS gives a filter: HTTP_METHOD, HTTP_URL, URL (the canonical path in
// GBK), QUERY_STRING, REMOTE_ADDR, CONTENT_TYPE and CONTENT_LENGTH when there
// is a body, and HTTP_<NAME> for every header present, repeated headers merged.
std::map<std::string, std::string> DeriveServerVariables(const HttpRequest& request,
                                                         const std::string& remote_addr);

struct ServeOptions {
  std::string remote_addr = "127.0.0.1";
  int status = 200;  // the response the server would send when the request goes on
  std::vector<std::pair<std::string, std::string>> headers;  // added to the server's own
  std::string web_root = "C:\\Inetpub\\wwwroot";             // for the access-denied physical path
};

struct ServeResult {
  std::string output;               // bytes the client receives
  bool answered_by_filter = false;  // the block page or a replacement response
  Outcome outcome = Outcome::kPassed;
};

ServeResult ServeRequest(Module& module, const HttpRequest& request, const ServeOptions& options);

// "200 OK" for 200 and so on; the reason phrases IIS uses.
std::string StatusText(int status);

}  // namespace zelk::filter::host
