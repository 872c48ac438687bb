// The block page as a browser shows it: nginx with the module serves it to
// headless Chromium, which must decode the GBK page (its meta names gb2312;
// nginx sends no charset) so that the Chinese headline and title come out
// right. A screenshot is kept in the build folder for people to look at.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "filter/nginx/testing/nginx_server.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::filter {
namespace {

using zelk::testing::RunProgram;
using zelk::testing::ShellQuote;

constexpr char kChromium[] = "/usr/bin/chromium";

std::string ChromiumArgs(const std::string& profile) {
  // --no-sandbox: the tests may run as root, where Chromium's sandbox will not start.
  return "--headless=new --no-sandbox --disable-gpu --no-first-run --disable-extensions "
         "--user-data-dir=" +
         ShellQuote(profile) + " ";
}

TEST(NginxBrowserTest, ChromiumShowsTheBlockPagesChineseHeadlineDecodedFromGbk) {
  ASSERT_TRUE(std::filesystem::exists(kChromium)) << "scripts/setup.sh installs chromium";
  zelk::testing::TempDir dir;
  const std::string module_dir = dir.path() + "module/";
  std::filesystem::create_directories(module_dir);
  std::ofstream(module_dir + "ZelkWAFLog.txt");
  auto make_conf = [&](const std::vector<int>& ports) {
    std::string conf = testing::NginxConfigHead(dir.path(), 1);
    conf += "  zelkwaf_module_dir " + module_dir + ";\n";
    conf += "  server {\n    listen 127.0.0.1:" + std::to_string(ports[0]) + ";\n    root " +
            dir.path() + ";\n    zelkwaf on;\n  }\n}\n";
    return conf;
  };
  std::vector<int> ports;
  std::string error;
  auto server = testing::NginxServer::StartOnFreePorts(dir.path(), 1, make_conf, &ports, &error);
  ASSERT_NE(server, nullptr) << error;
  const int port = ports[0];

  const std::string url =
      "http://127.0.0.1:" + std::to_string(port) + "/news.asp?id=1%20union%20select%201,2";
  const auto dom =
      RunProgram(kChromium, ChromiumArgs(dir.path() + "profile") + "--dump-dom " + ShellQuote(url),
                 dir.path());
  ASSERT_EQ(dom.exit_code, 0) << dom.err;
  // Chromium writes the DOM in UTF-8 whatever the page's encoding was.
  EXPECT_NE(dom.out.find(u8"<title>Zelk盾_拦截提示</title>"), std::string::npos) << dom.out;
  EXPECT_NE(dom.out.find(u8"GET请求存在注入语句!"), std::string::npos);
  EXPECT_NE(dom.out.find("id=1%20union%20select%201,2"), std::string::npos);
  EXPECT_NE(dom.out.find(u8">返回<"), std::string::npos);

  const std::string shots = std::string(ZELK_BINARY_DIR) + "/browser/";
  std::filesystem::create_directories(shots);
  const std::string png = shots + "block-page.png";
  std::filesystem::remove(png);
  const auto shot =
      RunProgram(kChromium,
                 ChromiumArgs(dir.path() + "profile") +
                     "--hide-scrollbars --window-size=640,360 --screenshot=" + ShellQuote(png) +
                     " " + ShellQuote(url),
                 dir.path());
  ASSERT_EQ(shot.exit_code, 0) << shot.err;
  const std::string bytes = zelk::testing::FileBytes(png);
  ASSERT_GT(bytes.size(), 1000u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

}  // namespace
}  // namespace zelk::filter
