// The request rules: method, extension and web-shell forms, white list,
// injection checks of the query, the cookie and the address headers, range;
// and the access-denied log line.
#include <memory>
#include <optional>
#include <vector>

#include "filter/backdoor.h"
#include "filter/body.h"
#include "filter/decode.h"
#include "filter/module.h"
#include "filter/response.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

// The WebDAV write family as well as PUT and DELETE: MKCOL makes "x.asp"
// folders, the first step of IIS 6's folder parsing.
constexpr std::string_view kDeniedMethods =
    "PUT|MOVE|COPY|DELETE|OPTIONS|PROPFIND|PROPPATCH|MKCOL|LOCK|UNLOCK|SEARCH|";
constexpr char kLearnMarker[] = "|学习模式|";
constexpr std::size_t kLoggedValueBytes = 1024;  // longer values are cut in the log

// The request's server variables, each read when a rule first needs it: a
// static file needs the method, the path and the range header only, and
// reading a variable costs a server call and, unless the host can lend its
// own bytes, a copy.
class RequestInputs {
 public:
  explicit RequestInputs(FilterContext& ctx) : ctx_(ctx) {}

  std::string_view method() const { return Get(kMethod, "HTTP_METHOD"); }
  std::string_view host() const { return Get(kHost, "HTTP_HOST"); }
  std::string_view query() const { return Get(kQuery, "QUERY_STRING"); }
  std::string_view cookie() const { return Get(kCookie, "HTTP_COOKIE"); }
  std::string_view range() const { return Get(kRange, "HTTP_RANGE"); }
  std::string_view raw_url() const { return Get(kRawUrl, "HTTP_URL"); }
  std::string_view url() const { return Get(kUrl, "URL"); }
  std::string client() const { return std::string(Get(kClient, "REMOTE_ADDR")); }

 private:
  enum Slot { kMethod, kHost, kQuery, kCookie, kRange, kRawUrl, kUrl, kClient, kSlots };

  std::string_view Get(Slot slot, std::string_view name) const {
    if ((read_ & (1u << slot)) == 0) {
      values_[slot] = ReadServerVariable(ctx_, name, &storage_[slot]);
      read_ |= 1u << slot;
    }
    return values_[slot];
  }

  FilterContext& ctx_;
  mutable std::string_view values_[kSlots];
  mutable std::string storage_[kSlots];
  mutable unsigned read_ = 0;
};

// Headers that ASP pages commonly write into SQL (visit counters, login and
// access logs), with the server variable that carries each.
struct InspectedHeader {
  const char* name;
  std::string_view variable;  // a literal: NUL-terminated
  bool may_be_address_list;
};
constexpr InspectedHeader kInspectedHeaders[] = {
    {"X-Forwarded-For", "HTTP_X_FORWARDED_FOR", true},
    {"Client-IP", "HTTP_CLIENT_IP", true},
    {"X-Real-IP", "HTTP_X_REAL_IP", true},
    {"Referer", "HTTP_REFERER", false},
    {"User-Agent", "HTTP_USER_AGENT", false},
};

bool MethodDenied(std::string_view method) {
  if (method.empty() || method == "GET" || method == "POST" || method == "HEAD") return false;
  std::size_t start = 0;
  while (start < kDeniedMethods.size()) {
    const std::size_t end = kDeniedMethods.find('|', start);
    if (kDeniedMethods.substr(start, end - start) == method) return true;
    start = end + 1;
  }
  return false;
}

// A log line is written after the page has gone out. A write that fails (a
// full disk, which an attacker can cause through the log itself) must not
// turn the block into a pass: the failure is dropped here, and the next line
// is tried again on the same handle.
void WriteLogLineKeepingVerdict(Module& m, const std::string& message) {
  try {
    m.log.WriteLogLine(message);
  } catch (...) {
  }
}

Verdict Block(Module& m, FilterContext& ctx, const char* headline, std::string_view reason,
              std::string_view host, const std::string& log_message) {
  SendBlockPage(ctx, BuildBlockPage(headline, reason, host));
  if (m.cfg().settings.WirteLog && !log_message.empty()) WriteLogLineKeepingVerdict(m, log_message);
  return {kStatusReqFinished, Outcome::kBlocked};
}

// What a matching injection check shows: the page's headline, the log label.
struct Check {
  const char* headline;
  const char* log_label;
};

// On a match: block, or in learning mode only log. `shown` is what the page
// and the log show (the value as received); `logged_as` what the log line
// carries after " 参数:".
std::optional<Verdict> Matched(Module& m, FilterContext& ctx, const RequestInputs& in,
                               const Check& check, std::string_view shown,
                               std::string_view logged_as) {
  const std::string message = in.client() + " " + check.log_label + std::string(in.host()) +
                              CutForLog(in.raw_url()) + " 参数:" + CutForLog(logged_as);
  if (!m.cfg().settings.LearnMode) return Block(m, ctx, check.headline, shown, in.host(), message);
  if (m.cfg().settings.WirteLog)
    WriteLogLineKeepingVerdict(m, message + kLearnMarker + std::string(in.url()));
  return Verdict{kStatusReqNextNotification, Outcome::kLearned};
}

// Whether the pattern matches the text as ASP decodes it. Most values need
// no decoding and are matched where they are, without a copy.
bool MatchesDecoded(const Pattern& pattern, std::string_view text) {
  return QueryTextNeedsDecoding(text) ? MatchPattern(pattern, DecodeQueryText(text))
                                      : MatchPattern(pattern, text);
}

// The query as ASP gives it to the page: the whole decoded string and, for
// every repeated name, the values joined with ", " (a comment split across
// "&id=" closes again there).
bool QueryMatches(const Pattern& pattern, std::string_view query) {
  if (MatchesDecoded(pattern, query)) return true;
  if (query.find('&') == std::string_view::npos) return false;
  for (const std::string& joined : RepeatedParameterValues(query)) {
    if (MatchPattern(pattern, joined)) return true;
  }
  return false;
}

std::optional<Verdict> InjectionChecks(Module& m, FilterContext& ctx, const RequestInputs& in) {
  const FilterConfig& c = m.cfg();
  const FilterSettings& s = c.settings;
  if (s.SqlGet && QueryMatches(c.patterns.get, in.query())) {
    return Matched(m, ctx, in, {"GET请求存在注入语句!", "尝试GET注入:"}, in.query(), in.query());
  }
  if (!s.SqlCookie) return std::nullopt;
  // ASP's Request("id") falls back to the cookies, so the cookie is checked
  // whatever the query check says.
  const Check cookie{"Cookies请求存在注入语句!", "尝试Cookie注入:"};
  if (MatchesDecoded(c.patterns.cookie, in.cookie())) {
    return Matched(m, ctx, in, cookie, in.cookie(), in.cookie());
  }
  const Check header{"请求头存在注入语句!", "尝试Header注入:"};
  std::string storage;
  for (const InspectedHeader& h : kInspectedHeaders) {
    const std::string_view value = ReadServerVariable(ctx, h.variable, &storage);
    if (value.empty() || (h.may_be_address_list && IsAddressList(value))) continue;
    if (MatchPattern(c.patterns.cookie, value)) {
      const std::string shown = std::string(h.name) + ": " + std::string(value);
      return Matched(m, ctx, in, header, shown, shown);
    }
  }
  return std::nullopt;
}

// What the body checks look for in one request body, fed in pieces.
class BodyChecks : public MultipartParser::Handler {
 public:
  BodyChecks(const FilterConfig& config, bool check_post, bool check_uploads)
      : config_(config), check_post_(check_post), check_uploads_(check_uploads) {}

  // A back-door upload: the file name (or the first such) as sent.
  const std::optional<std::string>& upload() const { return upload_; }
  bool injection() const { return injection_; }
  void set_injection() { injection_ = true; }

  void BeginPart(const PartHeaders& headers) override {
    file_name_ = headers.file_name;
    field_.clear();
    if (!file_name_) return;
    if (check_uploads_ && !upload_ && IsServerScriptFileName(*file_name_)) upload_ = *file_name_;
    scanner_ = check_uploads_ ? std::make_unique<BackdoorScanner>() : nullptr;
    unasked_ = 0;
  }

  // The scanner is asked for its verdict once per block it searches, not
  // after every small read: asking re-searches the block in progress.
  void PartData(std::string_view bytes) override {
    if (file_name_) {
      if (scanner_ && !upload_) {
        scanner_->Feed(bytes);
        unasked_ += bytes.size();
        if (unasked_ >= kBackdoorBlockSize) AskScanner();
      }
    } else if (check_post_) {
      field_.append(bytes.data(), bytes.size());
    }
  }

  // A text field is matched as the page receives it, undecoded.
  void EndPart() override {
    if (scanner_ && !upload_) AskScanner();
    if (!file_name_ && check_post_ && MatchPattern(config_.patterns.post, field_)) {
      injection_ = true;
    }
    field_.clear();
    scanner_.reset();
  }

 private:
  void AskScanner() {
    unasked_ = 0;
    if (scanner_->found()) upload_ = *file_name_;
  }

  const FilterConfig& config_;
  bool check_post_, check_uploads_;
  std::size_t unasked_ = 0;               // bytes fed since the scanner was last asked
  std::optional<std::string> file_name_;  // of the part being read; none for a text field
  std::string field_;
  std::unique_ptr<BackdoorScanner> scanner_;
  std::optional<std::string> upload_;
  bool injection_ = false;
};

enum class BodyKind { kForm, kJson, kMultipart, kOther };

BodyKind KindOf(const std::string& media) {
  if (media.empty() || media == "application/x-www-form-urlencoded") return BodyKind::kForm;
  if (media == "multipart/form-data") return BodyKind::kMultipart;
  if (media == "application/json" || media == "text/json" ||
      (media.size() > 5 && media.compare(media.size() - 5, 5, "+json") == 0)) {
    return BodyKind::kJson;
  }
  return BodyKind::kOther;
}

}  // namespace

Verdict OnPreprocHeaders(Module& m, FilterContext& ctx) {
  const RequestInputs in(ctx);
  const FilterConfig& c = m.cfg();
  const FilterSettings& s = c.settings;
  if (s.DenyPutMethod && MethodDenied(in.method())) {
    return Block(m, ctx, "请求方式非法!", in.method(), in.host(),
                 in.client() + " 请求方式非法:" + CutForLog(in.method()));
  }
  const UrlPathView path = ReadUrlPath(in.url());
  // A script's last extension is usually its script extension: asked once.
  const bool denied_ext =
      s.DenyFileExtDown &&
      (c.denied_download_exts.Contains(path.last_ext) ||
       (path.script_ext != path.last_ext && c.denied_download_exts.Contains(path.script_ext)));
  if (denied_ext || (s.DenyShell && path.shell_form)) {
    return Block(m, ctx, "请求文件非法!", in.raw_url(), in.host(),
                 in.client() + " 请求文件非法:" + std::string(in.host()) + CutForLog(in.raw_url()));
  }
  // A folder URL is answered by its default document, a script as often as
  // not, so it gets the injection checks too; the range rule still applies
  // to it afterwards.
  if (path.script || path.folder_like) {
    if (!c.white_list.Contains(in.url())) {
      if (auto verdict = InjectionChecks(m, ctx, in)) return *verdict;
    }
    if (path.script) return {};
  }
  if (s.DenyMultiDown && !in.range().empty()) {
    return Block(m, ctx, "请不要使用多线程访问本站资源!", in.raw_url(), in.host(), std::string());
  }
  return {};
}

std::uint32_t OnAccessDenied(Module& m, FilterContext&, const std::string& physical_path) {
  const FilterSettings& s = m.cfg().settings;
  if (s.AnonymousLogin && s.WirteLog) m.log.WriteLogLine("尝试匿名访问:" + physical_path);
  return kStatusReqNextNotification;
}

Verdict OnRequestBody(Module& m, FilterContext& ctx, BodySource& body) {
  const RequestInputs in(ctx);
  const FilterConfig& c = m.cfg();
  const FilterSettings& s = c.settings;
  const std::string content_type = ReadServerVariable(ctx, "CONTENT_TYPE");
  const BodyKind kind = KindOf(MediaTypeOf(content_type));
  const UrlPathView path = ReadUrlPath(in.url());
  const bool check_post = s.SqlPost && kind != BodyKind::kOther &&
                          (path.script || path.folder_like) && !c.white_list.Contains(in.url());
  const bool check_uploads = s.DenyShell && kind == BodyKind::kMultipart;
  if (!check_post && !check_uploads) return {};

  BodyChecks checks(c, check_post, check_uploads);
  // Without a boundary the body cannot be split into parts: it is read as
  // the content of one file of unknown name.
  const std::string boundary = kind == BodyKind::kMultipart ? BoundaryOf(content_type) : "";
  std::optional<MultipartParser> parser;
  if (kind == BodyKind::kMultipart) {
    if (!boundary.empty()) {
      parser.emplace(boundary, checks);
    } else {
      checks.BeginPart(PartHeaders{"", std::string()});
    }
  }

  std::string head;  // the first bytes, for the page and the log
  std::string text;  // form and JSON bodies, whole (up to the cap)
  std::vector<char> buffer(64 * 1024);
  std::size_t total = 0;
  while (total < kBodyInspectionCap && !checks.upload()) {
    const std::size_t n =
        body.Read(buffer.data(), std::min(buffer.size(), kBodyInspectionCap - total));
    if (n == 0) break;
    const std::string_view piece(buffer.data(), n);
    total += n;
    if (head.size() <= kLoggedValueBytes)
      head.append(piece.substr(0, kLoggedValueBytes + 1 - head.size()));
    if (kind == BodyKind::kMultipart) {
      if (parser) {
        parser->Feed(piece);
      } else {
        checks.PartData(piece);
      }
    } else {
      text.append(piece.data(), piece.size());
    }
  }
  if (parser) {
    parser->Finish();
  } else if (kind == BodyKind::kMultipart) {
    checks.EndPart();
  }

  if (const auto& file = checks.upload()) {
    const std::string message = in.client() + " 尝试上传Web后门:" + std::string(in.host()) +
                                CutForLog(in.raw_url()) + " 文件:" + CutForLog(*file);
    if (!s.LearnMode) return Block(m, ctx, "禁止上传Web后门!", *file, in.host(), message);
    if (s.WirteLog) WriteLogLineKeepingVerdict(m, message + kLearnMarker + std::string(in.url()));
    return {kStatusReqNextNotification, Outcome::kLearned};
  }
  if (check_post) {
    if (kind == BodyKind::kForm && QueryMatches(c.patterns.post, text)) checks.set_injection();
    if (kind == BodyKind::kJson && MatchPattern(c.patterns.post, UnescapeJsonStrings(text))) {
      checks.set_injection();
    }
    if (checks.injection()) {
      const std::string shown = CutForLog(head);
      return *Matched(m, ctx, in, {"POST请求存在注入语句!", "尝试POST注入:"}, shown, shown);
    }
  }
  return {};
}

}  // namespace zelk::filter
