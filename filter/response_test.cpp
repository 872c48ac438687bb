#include "filter/response.h"

#include <gtest/gtest.h>

#include "filter/testing/fake_context.h"
#include "filter/testing/request_cases.h"

namespace zelk::filter {
namespace {

using testing::FakeContext;

std::string Golden(const char* name) {
  const std::string bytes =
      testing::ReadFileBytes(std::string(ZELK_SOURCE_DIR) + "/testdata/" + name);
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

TEST(BuildBlockPage, ProducesTheFixedGbkPageByteForByte) {
  EXPECT_EQ(BuildBlockPage("请求方式非法!", "PUT", "www.example.com"),
            Golden("block_page_method.html"));
  EXPECT_EQ(BuildBlockPage("目录存在!", "访问限制", "#"), Golden("block_page_403.html"));
}

TEST(BuildBlockPage, EscapesMarkupInEverySubstitution) {
  const std::string page =
      BuildBlockPage("<b>", "q=<script>alert('x')</script>&a=\"1\"", "h\"><img>");
  EXPECT_NE(page.find("&lt;b&gt;<BR>"), std::string::npos);
  EXPECT_NE(
      page.find("q=&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;a=&quot;1&quot;</FONT>"),
      std::string::npos);
  EXPECT_NE(page.find("http://h&quot;&gt;&lt;img&gt;\">"), std::string::npos);
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("<img>"), std::string::npos);
}

TEST(EscapeHtml, KeepsEveryOtherByteIncludingGbk) {
  const std::string gbk = "\xD6\xD0\xCE\xC4 %27 /a.asp?x=1;y=2";
  EXPECT_EQ(EscapeHtml(gbk), gbk);
  EXPECT_EQ(EscapeHtml("&<>\"'"), "&amp;&lt;&gt;&quot;&#39;");
}

TEST(EscapeHtml, MatchesByteByByteReplacementOnMixedText) {
  // Entities at the start, the end, next to each other and among runs of
  // other bytes, and every byte value.
  auto by_hand = [](std::string_view text) {
    std::string out;
    for (const char c : text) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&#39;";
          break;
        default:
          out += c;
      }
    }
    return out;
  };
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  for (const std::string& text :
       {std::string(), std::string("'"), std::string("x'"), std::string("'x"),
        std::string("''&&<<>>\"\""), std::string(1000, '\'') + "tail",
        "q=" + std::string(300, 'a') + "<b>&\"" + std::string(300, 'b'), all_bytes}) {
    EXPECT_EQ(EscapeHtml(text), by_hand(text)) << text.size();
  }
}

struct ResponseCase {
  const char* name;
  bool deny_iis_ver, deny403, deny500;
  std::uint32_t status;
  std::string expected_head;  // empty: not replaced
  const char* headline;
};

TEST(OnSendResponse, RewritesHeadersAndMasksErrors) {
  const ResponseCase cases[] = {
      {"403 masked", true, true, true, 403, "HTTP/1.1 404 Not Found\r\n", "目录存在!"},
      {"500 masked", true, true, true, 500, "HTTP/1.1 200 OK\r\n", "脚本错误!"},
      {"403 by 500 switch", false, false, true, 403, "HTTP/1.1 404 Not Found\r\n", "目录存在!"},
      {"500 by 403 switch", false, true, false, 500, "HTTP/1.1 200 OK\r\n", "脚本错误!"},
      {"both off", true, false, false, 403, "", nullptr},
      {"401 kept", true, true, true, 401, "", nullptr},
      {"404 kept", true, true, true, 404, "", nullptr},
      {"302 kept", true, true, true, 302, "", nullptr},
      {"200 kept", false, true, true, 200, "", nullptr},
  };
  for (const ResponseCase& c : cases) {
    FilterSettings s;
    s.DenyIISVER = c.deny_iis_ver;
    s.Deny403Err = c.deny403;
    s.Deny500Err = c.deny500;
    FakeContext ctx;
    ctx.status = c.status;
    ctx.headers = {{"Server:", "Microsoft-IIS/6.0"},
                   {"X-AspNet-Version:", "2.0.50727"},
                   {"X-Powered-By:", "ASP.NET"}};
    const std::uint32_t rc = OnSendResponse(s, ctx);
    if (c.deny_iis_ver) {
      EXPECT_EQ(ctx.calls.at(0), "SetHeader(Server:,ZeLk Web Firewall)") << c.name;
      EXPECT_EQ(ctx.calls.at(1), "SetHeader(X-AspNet-Version:,null)") << c.name;
      EXPECT_EQ(ctx.calls.at(2), "SetHeader(X-Powered-By:,ZeLkWAF/2.0.0)") << c.name;
      EXPECT_EQ(ctx.headers.count("X-AspNet-Version:"), 0u);
    } else {
      EXPECT_EQ(ctx.headers.at("Server:"), "Microsoft-IIS/6.0") << c.name;
      EXPECT_EQ(ctx.headers.count("X-AspNet-Version:"), 1u) << c.name;
    }
    if (c.expected_head.empty()) {
      EXPECT_EQ(rc, kStatusReqNextNotification) << c.name;
      EXPECT_EQ(ctx.written, "") << c.name;
    } else {
      EXPECT_EQ(rc, kStatusReqFinished) << c.name;
      const std::string page = BuildBlockPage(c.headline, "访问限制", "#");
      // Content-Length counts GBK bytes, not characters.
      EXPECT_EQ(ctx.written, c.expected_head + "Content-Length: " + std::to_string(page.size()) +
                                 "\r\nContent-Type: text/html\r\n\r\n" + page)
          << c.name;
      EXPECT_NE(ctx.written.find("http://#\""), std::string::npos);
    }
  }
}

TEST(OnSendResponse, ReplacementLengthMatchesTheGoldenPage) {
  FilterSettings s;
  FakeContext ctx;
  ctx.status = 403;
  OnSendResponse(s, ctx);
  const std::string golden = Golden("block_page_403.html");
  EXPECT_EQ(ctx.written,
            "HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(golden.size()) +
                "\r\nContent-Type: text/html\r\n\r\n" + golden);
}

}  // namespace
}  // namespace zelk::filter
