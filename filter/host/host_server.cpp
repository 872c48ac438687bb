#include "filter/host/host_server.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "filter/canonical_path.h"
#include "platform/text.h"

namespace zelk::filter::host {
namespace {

// A body held in memory, handed out in pieces.
class StringBodySource : public BodySource {
 public:
  explicit StringBodySource(std::string_view body) : rest_(body) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, rest_.size());
    std::memcpy(buffer, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
  }

 private:
  std::string_view rest_;
};

// The server side of one request: server variables in, client bytes out, and
// the response about to be sent while the send-response notification runs.
class HostContext : public FilterContext {
 public:
  HostContext(Module& module, std::map<std::string, std::string> variables,
              std::string physical_path)
      : module_(module),
        variables_(std::move(variables)),
        physical_path_(std::move(physical_path)) {}

  VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) override {
    const auto it = variables_.find(name);
    if (it == variables_.end()) return VariableResult::kMissing;
    return CopyServerVariable(it->second, buffer, size);
  }

  // As IIS does, the filter's own response head goes through the
  // send-response notification first, so the identity headers are rewritten
  // there too.
  bool SendResponseHeader(const char* status, const char* extra_headers) override {
    const int code = std::atoi(status);
    BeginResponse(code, status, {});
    const Verdict v = RunNotification(module_, *this, kNotifySendResponse);
    if (v.status == kStatusReqFinished) {
      replaced_ = true;
      return true;
    }
    output_ += ResponseHead(extra_headers);
    return true;
  }

  bool WriteClient(const void* bytes, std::uint32_t length) override {
    output_.append(static_cast<const char*>(bytes), length);
    return true;
  }

  bool SetHeader(const char* name, const char* value) override {
    std::string key(name);
    if (!key.empty() && key.back() == ':') key.pop_back();
    for (auto it = response_headers_.begin(); it != response_headers_.end(); ++it) {
      if (EqualsIgnoreAsciiCase(it->first, key)) {
        if (value == nullptr) {
          response_headers_.erase(it);
        } else {
          it->second = value;
        }
        return true;
      }
    }
    if (value != nullptr) response_headers_.emplace_back(key, value);
    return true;
  }

  std::uint32_t HttpStatus() override { return static_cast<std::uint32_t>(status_); }
  const char* PhysicalPath() override { return physical_path_.c_str(); }

  void BeginResponse(int status, std::string status_text,
                     const std::vector<std::pair<std::string, std::string>>& extra) {
    status_ = status;
    status_text_ = std::move(status_text);
    response_headers_ = {{"Server", "Microsoft-IIS/6.0"}, {"X-Powered-By", "ASP.NET"}};
    for (const auto& h : extra) SetHeader(h.first.c_str(), h.second.c_str());
  }

  std::string ResponseHead(const char* extra_headers) const {
    std::string head = "HTTP/1.1 " + status_text_ + "\r\n";
    for (const auto& h : response_headers_) head += h.first + ": " + h.second + "\r\n";
    if (extra_headers != nullptr) head += extra_headers;
    head += "\r\n";
    return head;
  }

  std::string& output() { return output_; }
  bool replaced() const { return replaced_; }

 private:
  Module& module_;
  std::map<std::string, std::string> variables_;
  std::string physical_path_;
  int status_ = 0;
  std::string status_text_;
  std::vector<std::pair<std::string, std::string>> response_headers_;
  std::string output_;
  bool replaced_ = false;
};

}  // namespace

namespace {

// Undoes the chunked transfer coding; false when the chunks are malformed or
// end before the last (zero) chunk. Trailers are ignored.
bool DecodeChunked(std::string_view text, std::string* body) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t line_end = text.find('\n', pos);
    if (line_end == std::string_view::npos) return false;
    std::string_view size_text = text.substr(pos, line_end - pos);
    size_text = size_text.substr(0, size_text.find(';'));  // chunk extensions
    size_text = TrimBlanks(size_text.substr(0, size_text.find('\r')));
    if (size_text.empty() || size_text.size() > 8) return false;
    std::size_t size = 0;
    for (char c : size_text) {
      const int d = HexDigitValue(c);
      if (d < 0) return false;
      size = size * 16 + static_cast<std::size_t>(d);
    }
    pos = line_end + 1;
    if (size == 0) return true;
    if (text.size() - pos < size) return false;
    body->append(text.substr(pos, size));
    pos += size;
    if (text.compare(pos, 2, "\r\n") == 0) {
      pos += 2;
    } else if (text.compare(pos, 1, "\n") == 0) {
      pos += 1;
    } else {
      return false;
    }
  }
}

}  // namespace

std::optional<HttpRequest> ParseRawRequest(const std::string& text, std::string* error) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  std::size_t body_start = text.size();
  for (;;) {
    std::size_t end = text.find('\n', start);
    std::string_view line = std::string_view(text).substr(
        start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) {
      if (end != std::string::npos) body_start = end + 1;
      break;
    }
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (lines.empty()) {
    *error = "empty request: no request line";
    return std::nullopt;
  }
  HttpRequest req;
  const std::string_view first = lines[0];
  const std::size_t sp1 = first.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : first.find(' ', sp1 + 1);
  if (sp1 == 0 || sp1 == std::string_view::npos || sp2 == std::string_view::npos ||
      sp2 == sp1 + 1 || first.substr(sp2 + 1).rfind("HTTP/1.", 0) != 0) {
    *error = "malformed request line (expected METHOD TARGET HTTP/1.x): " + std::string(first);
    return std::nullopt;
  }
  req.method = std::string(first.substr(0, sp1));
  req.target = std::string(first.substr(sp1 + 1, sp2 - sp1 - 1));
  // An index, not a pointer: later headers may move the vector's strings.
  std::optional<std::size_t> length_header;
  bool chunked = false;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t colon = lines[i].find(':');
    // A header needs a name: " : x" has none once its blanks are gone.
    if (colon == std::string_view::npos || TrimBlanks(lines[i].substr(0, colon)).empty()) {
      *error = "malformed header line: " + std::string(lines[i]);
      return std::nullopt;
    }
    req.headers.emplace_back(std::string(TrimBlanks(lines[i].substr(0, colon))),
                             std::string(TrimBlanks(lines[i].substr(colon + 1))));
    const auto& [name, value] = req.headers.back();
    if (EqualsIgnoreAsciiCase(name, "Content-Length")) length_header = req.headers.size() - 1;
    if (EqualsIgnoreAsciiCase(name, "Transfer-Encoding") &&
        ContainsIgnoreAsciiCase(value, "chunked")) {
      chunked = true;
    }
  }
  const std::string_view rest = std::string_view(text).substr(body_start);
  if (chunked) {
    if (!DecodeChunked(rest, &req.body)) {
      *error = "malformed chunked body";
      return std::nullopt;
    }
  } else if (length_header) {
    const std::string* length = &req.headers[*length_header].second;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(length->c_str(), &end, 10);
    if (length->empty() || *end != '\0' || (*length)[0] == '-') {
      *error = "malformed Content-Length: " + *length;
      return std::nullopt;
    }
    if (n > rest.size()) {
      *error = "body shorter than its Content-Length (" + std::to_string(rest.size()) + " of " +
               *length + " bytes)";
      return std::nullopt;
    }
    req.body = std::string(rest.substr(0, n));
  }
  return req;
}

std::string HeaderVariableName(std::string_view header) {
  std::string name = "HTTP_";
  for (char c : header) name += c == '-' ? '_' : (c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return name;
}

std::map<std::string, std::string> DeriveServerVariables(const HttpRequest& request,
                                                         const std::string& remote_addr) {
  std::map<std::string, std::string> v;
  // Every header as HTTP_NAME. Repeated headers are merged as HTTP.sys
  // merges them: cookies with "; ", anything else with ", ".
  for (const auto& [name, value] : request.headers) {
    const std::string key = HeaderVariableName(name);
    const auto [it, inserted] = v.try_emplace(key, value);
    if (!inserted) it->second += (key == "HTTP_COOKIE" ? "; " : ", ") + value;
  }
  v["HTTP_METHOD"] = request.method;
  v["HTTP_URL"] = request.target;
  const std::size_t q = request.target.find('?');
  v["URL"] = CanonicalUrlPath(std::string_view(request.target).substr(0, q));
  v["QUERY_STRING"] = q == std::string::npos ? std::string() : request.target.substr(q + 1);
  v["REMOTE_ADDR"] = remote_addr;
  if (!request.body.empty() || v.count("HTTP_CONTENT_LENGTH") != 0) {
    v["CONTENT_LENGTH"] = std::to_string(request.body.size());
  }
  if (const auto it = v.find("HTTP_CONTENT_TYPE"); it != v.end()) v["CONTENT_TYPE"] = it->second;
  return v;
}

std::string StatusText(int status) {
  const char* reason = "Unknown";
  switch (status) {
    case 200:
      reason = "OK";
      break;
    case 201:
      reason = "Created";
      break;
    case 204:
      reason = "No Content";
      break;
    case 206:
      reason = "Partial Content";
      break;
    case 301:
      reason = "Moved Permanently";
      break;
    case 302:
      reason = "Object Moved";
      break;
    case 304:
      reason = "Not Modified";
      break;
    case 400:
      reason = "Bad Request";
      break;
    case 401:
      reason = "Unauthorized";
      break;
    case 403:
      reason = "Forbidden";
      break;
    case 404:
      reason = "Not Found";
      break;
    case 405:
      reason = "Method Not Allowed";
      break;
    case 500:
      reason = "Internal Server Error";
      break;
    case 503:
      reason = "Service Unavailable";
      break;
  }
  return std::to_string(status) + " " + reason;
}

ServeResult ServeRequest(Module& module, const HttpRequest& request, const ServeOptions& options) {
  auto variables = DeriveServerVariables(request, options.remote_addr);
  std::string physical = options.web_root + variables["URL"];
  for (char& c : physical) {
    if (c == '/') c = '\\';
  }
  HostContext ctx(module, std::move(variables), physical);
  ServeResult result;
  Verdict verdict = RunNotification(module, ctx, kNotifyPreprocHeaders);
  if (verdict.status != kStatusReqFinished) {
    // Every request passes the wildcard extension, which reads the body
    // when a check needs it.
    StringBodySource body(request.body);
    const Verdict body_verdict = RunBodyNotification(module, ctx, body);
    if (body_verdict.status == kStatusReqFinished || body_verdict.outcome != Outcome::kPassed) {
      verdict = body_verdict;
    }
  }
  result.outcome = verdict.outcome;
  if (verdict.status == kStatusReqFinished) {
    result.answered_by_filter = true;
    result.output = std::move(ctx.output());
    return result;
  }
  // The request goes on; the server answers with the given status. A refusal
  // for lack of credentials is announced to the filter first.
  if (options.status == 401) RunNotification(module, ctx, kNotifyAccessDenied);
  ctx.BeginResponse(options.status, StatusText(options.status), options.headers);
  const Verdict response = RunNotification(module, ctx, kNotifySendResponse);
  if (response.status == kStatusReqFinished) {
    result.answered_by_filter = true;
  } else {
    ctx.output() += ctx.ResponseHead(nullptr);
  }
  result.output = std::move(ctx.output());
  return result;
}

}  // namespace zelk::filter::host
