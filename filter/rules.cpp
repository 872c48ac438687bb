// The request rules: method, extension, white list, GET and Cookie injection
// checks, range; and the access-denied log line.
#include "filter/decode.h"
#include "filter/module.h"
#include "filter/response.h"
#include "platform/text.h"

namespace zelk::filter {
namespace {

constexpr std::string_view kDeniedMethods = "PUT|MOVE|COPY|DELETE|OPTIONS|PROPFIND|";
constexpr char kLearnMarker[] = "|学习模式|";

struct RequestInputs {
  std::string method, host, query, cookie, range, raw_url, url, client;
};

RequestInputs ReadInputs(FilterContext& ctx) {
  RequestInputs in;
  in.method = ReadServerVariable(ctx, "HTTP_METHOD");
  in.host = ReadServerVariable(ctx, "HTTP_HOST");
  in.query = ReadServerVariable(ctx, "QUERY_STRING");
  in.cookie = ReadServerVariable(ctx, "HTTP_COOKIE");
  in.range = ReadServerVariable(ctx, "HTTP_RANGE");
  in.raw_url = ReadServerVariable(ctx, "HTTP_URL");
  in.url = ReadServerVariable(ctx, "URL");
  in.client = ReadServerVariable(ctx, "REMOTE_ADDR");
  return in;
}

Verdict Block(Module& m, FilterContext& ctx, const char* headline, const std::string& reason,
              const std::string& host, const std::string& log_message) {
  SendBlockPage(ctx, BuildBlockPage(headline, reason, host));
  // The line goes out after the page; a failing write still fails the
  // notification open, but the page has been sent by then.
  if (m.settings.WirteLog && !log_message.empty()) m.log.WriteLogLine(log_message);
  return {kStatusReqFinished, Outcome::kBlocked};
}

// The GET and Cookie checks share their shape: match the decoded value, then
// block, or in learning mode only log.
Verdict InjectionCheck(Module& m, FilterContext& ctx, const RequestInputs& in,
                       const Pattern& pattern, const std::string& value, const char* headline,
                       const char* log_label) {
  if (!MatchPattern(pattern, DecodeQueryText(value))) return {};
  const std::string message = in.client + " " + log_label + in.host + in.raw_url + " 参数:" + value;
  if (!m.settings.LearnMode) return Block(m, ctx, headline, value, in.host, message);
  if (m.settings.WirteLog) m.log.WriteLogLine(message + kLearnMarker + in.url);
  return {kStatusReqNextNotification, Outcome::kLearned};
}

}  // namespace

Verdict OnPreprocHeaders(Module& m, FilterContext& ctx) {
  const RequestInputs in = ReadInputs(ctx);
  const FilterSettings& s = m.settings;
  // The file system ignores trailing dots and spaces and a "::$DATA" stream
  // name, so the extension is taken from the name it will actually open.
  const std::string ext = ExtractUrlExt(StripFileSystemTrailers(in.url));

  if (s.DenyPutMethod && !in.method.empty() &&
      kDeniedMethods.find(in.method) != std::string_view::npos) {
    return Block(m, ctx, "请求方式非法!", in.method, in.host,
                 in.client + " 请求方式非法:" + in.method);
  }
  if (s.DenyFileExtDown && !ext.empty() && ContainsIgnoreAsciiCase(s.DenyFileExtDownValue, ext)) {
    return Block(m, ctx, "请求文件非法!", in.raw_url, in.host,
                 in.client + " 请求文件非法:" + in.host + in.raw_url);
  }
  if (IsScriptExtension(ext)) {
    if (m.white_list.Contains(in.url)) return {};
    if (s.SqlGet) {
      return InjectionCheck(m, ctx, in, m.patterns.get, in.query, "GET请求存在注入语句!",
                            "尝试GET注入:");
    }
    if (s.SqlCookie) {
      return InjectionCheck(m, ctx, in, m.patterns.cookie, in.cookie, "Cookies请求存在注入语句!",
                            "尝试Cookie注入:");
    }
    return {};
  }
  if (s.DenyMultiDown && !in.range.empty()) {
    return Block(m, ctx, "请不要使用多线程访问本站资源!", in.raw_url, in.host, std::string());
  }
  return {};
}

std::uint32_t OnAccessDenied(Module& m, FilterContext&, const std::string& physical_path) {
  if (m.settings.AnonymousLogin && m.settings.WirteLog) {
    m.log.WriteLogLine("尝试匿名访问:" + physical_path);
  }
  return kStatusReqNextNotification;
}

}  // namespace zelk::filter
