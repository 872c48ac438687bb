#include "filter/response.h"

#include <array>
#include <cstring>
#include <string>

#include "filter/byte_blocks.h"

namespace zelk::filter {

namespace {

// The five markup bytes and their entities, and how many bytes longer each
// entity is than its byte.
constexpr const char* EntityOf(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return nullptr;
  }
}

constexpr std::array<unsigned char, 256> MakeExtraBytes() {
  std::array<unsigned char, 256> extra{};
  for (const char c : {'&', '<', '>', '"', '\''}) {
    extra[static_cast<unsigned char>(c)] =
        static_cast<unsigned char>(std::char_traits<char>::length(EntityOf(c)) - 1);
  }
  return extra;
}
constexpr std::array<unsigned char, 256> kExtraBytes = MakeExtraBytes();

// Appends text to *out with the five markup bytes written as entities. The
// size is counted first and the result written in place, runs of other bytes
// sixteen at a time: a blocked value can be 64 KB of quotes, and appending
// entity by entity cost more than the rest of the block page.
void AppendEscapedHtml(std::string* out, std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t extra = 0;
  for (std::size_t i = 0; i < n;) {
    i += blocks::MarkupFreeRun(s + i, n - i);
    if (i < n) extra += kExtraBytes[s[i++]];
  }
  if (extra == 0) {
    out->append(text);
    return;
  }
  const std::size_t at = out->size();
  out->resize(at + n + extra);
  char* w = out->data() + at;
  for (std::size_t i = 0; i < n;) {
    const std::size_t run = blocks::MarkupFreeRun(s + i, n - i);
    std::memcpy(w, s + i, run);
    w += run;
    i += run;
    if (i == n) break;
    const unsigned char c = s[i++];
    const std::size_t longer = kExtraBytes[c];
    if (longer == 0) {
      *w++ = static_cast<char>(c);
    } else {
      std::memcpy(w, EntityOf(static_cast<char>(c)), longer + 1);
      w += longer + 1;
    }
  }
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscapedHtml(&out, text);
  return out;
}

std::string BuildBlockPage(std::string_view headline, std::string_view reason,
                           std::string_view host) {
  std::string page;
  page.reserve(1400 + reason.size() + host.size());
  page +=
      "<!DOCTYPE HTML PUBLIC\"-//W3C//DTD HTML 4.0 "
      "Transitional//EN\"><HTML><HEAD><TITLE>Zelk盾_拦截提示</TITLE><META http-equiv=Content-Type "
      "content=\"text/html; charset=gb2312\">";
  page +=
      "<STYLE "
      "type=text/"
      "css>A{TEXT-DECORATION:none}A:link{COLOR:#095899}BODY{FONT-SIZE:12px}TD{FONT-SIZE:12px}TH{"
      "FONT-SIZE:12px}</STYLE></HEAD><BODY>";
  page +=
      "<TABLE style=\"BORDER-RIGHT: #000 1px outset; BORDER-TOP: #000 1px outset; BORDER-LEFT: "
      "#000 1px outset; BORDER-BOTTOM: #000 1px outset\"cellSpacing=0 cellPadding=0 width=400 "
      "align=center><TBODY><TR>";
  page +=
      "<TD style=\"BORDER-LEFT: #a80000 25px solid; COLOR: #fff\"bgColor=#333333 "
      "height=24>&nbsp;Zelk盾_拦截提示</TD></TR><TR>";
  page +=
      "<TD style=\"PADDING-RIGHT: 20px; PADDING-LEFT: 20px; FONT-SIZE: 14px; PADDING-BOTTOM: 20px; "
      "PADDING-TOP: 20px\"vAlign=center align=middle bgColor=#f9f9f9 height=92>";
  AppendEscapedHtml(&page, headline);
  page += "<BR>原因:<FONT color=red>";
  AppendEscapedHtml(&page, reason);
  page += "</FONT>";
  page +=
      "</TD></TR><TR><TD align=right bgColor=#cccccc height=24><A onclick=history.back() "
      "href=\"#\">返回</A>";
  page += "|<A href=\"http://";
  AppendEscapedHtml(&page, host);
  page += "\">首页</A>|[<A href=\"";
  page += kVendorUrl;
  page += "\"target=_blank>Zelk</A>]&nbsp;</TD></TR></TBODY></TABLE></BODY></HTML>";
  return page;
}

namespace {

std::uint32_t Replace(FilterContext& ctx, const char* status_head, const char* headline) {
  const std::string page = BuildBlockPage(headline, "访问限制", "#");
  std::string response = status_head;
  response += std::to_string(page.size());
  response += "\r\nContent-Type: text/html\r\n\r\n";
  response += page;
  ctx.WriteClient(response.data(), static_cast<std::uint32_t>(response.size()));
  return kStatusReqFinished;
}

}  // namespace

std::uint32_t OnSendResponse(const FilterSettings& settings, FilterContext& ctx) {
  if (settings.DenyIISVER) {
    ctx.SetHeader("Server:", "ZeLk Web Firewall");
    ctx.SetHeader("X-AspNet-Version:", nullptr);
    ctx.SetHeader("X-Powered-By:", "ZeLkWAF/2.0.0");
  }
  if (settings.Deny403Err || settings.Deny500Err) {
    const std::uint32_t status = ctx.HttpStatus();
    if (status == 403)
      return Replace(ctx, "HTTP/1.1 404 Not Found\r\nContent-Length: ", "目录存在!");
    if (status == 500) return Replace(ctx, "HTTP/1.1 200 OK\r\nContent-Length: ", "脚本错误!");
  }
  return kStatusReqNextNotification;
}

}  // namespace zelk::filter
