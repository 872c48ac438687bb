// demo/gateway.conf as shipped, with its addresses and paths pointed at this
// machine: the gateway with the module in front of two upstream servers
// (a second nginx standing in for two IIS machines).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "filter/nginx/testing/nginx_server.h"
#include "filter/response.h"
#include "testing/files.h"

namespace zelk::filter {
namespace {

using testing::CurlRequest;
using testing::HttpCall;
using testing::HttpReply;
using testing::NginxServer;

std::string SourceDir() {
  const char* env = std::getenv("ZELK_SOURCE_DIR");
  return env != nullptr ? env : ZELK_SOURCE_DIR;
}

// Replaces `from` (which must occur) by `to`.
void Substitute(std::string* text, const std::string& from, const std::string& to) {
  const std::size_t at = text->find(from);
  ASSERT_NE(at, std::string::npos) << "demo/gateway.conf no longer has: " << from;
  text->replace(at, from.size(), to);
}

class GatewayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string farm_dir = dir_.path() + "farm/";
    const std::string gateway_dir = dir_.path() + "gateway/";
    module_dir_ = dir_.path() + "zelkwaf/";
    for (const std::string& d : {farm_dir, gateway_dir, module_dir_}) {
      std::filesystem::create_directories(d);
    }
    std::ofstream(module_dir_ + "ZelkWAFLog.txt");

    // The farm: two servers answering like IIS with ASP.NET, each naming
    // itself in the body, with a 403 folder and a failing script.
    auto farm_conf = [&](const std::vector<int>& ports) {
      std::string farm = testing::NginxConfigHead(farm_dir, 1);
      farm += "  log_format seen \"$request_uri\";\n";
      for (int i = 0; i < 2; ++i) {
        const std::string name = i == 0 ? "iis1" : "iis2";
        farm += "  server {\n    listen 127.0.0.1:" + std::to_string(ports[i]) + ";\n";
        farm += "    access_log " + farm_dir + "seen.log seen;\n";
        farm += "    add_header X-Powered-By ASP.NET always;\n";
        farm += "    add_header X-AspNet-Version 2.0.50727 always;\n";
        farm += "    location / { return 200 \"" + name + "\\n\"; }\n";
        farm += "    location /secret/ { return 403; }\n";
        farm += "    location = /broken.asp { return 500; }\n  }\n";
      }
      return farm + "}\n";
    };
    std::vector<int> iis;
    std::string error;
    farm_ = NginxServer::StartOnFreePorts(farm_dir, 2, farm_conf, &iis, &error);
    ASSERT_NE(farm_, nullptr) << error;

    // demo/gateway.conf with this machine's paths and ports.
    std::string conf = zelk::testing::FileBytes(SourceDir() + "/demo/gateway.conf");
    ASSERT_FALSE(conf.empty());
    Substitute(&conf, "/usr/lib/nginx/modules/ngx_http_zelkwaf_module.so", testing::ModulePath());
    Substitute(&conf, "/run/zelkwaf-gateway.pid", gateway_dir + "nginx.pid");
    Substitute(&conf, "/var/log/nginx/zelkwaf-gateway.error.log", gateway_dir + "error.log");
    Substitute(&conf, "/var/log/nginx/zelkwaf-gateway.access.log", gateway_dir + "access.log");
    Substitute(&conf, "zelkwaf_module_dir /etc/zelkwaf/;",
               "zelkwaf_module_dir " + module_dir_ + ";");
    Substitute(&conf, "192.0.2.11:80", "127.0.0.1:" + std::to_string(iis[0]));
    Substitute(&conf, "192.0.2.12:80", "127.0.0.1:" + std::to_string(iis[1]));
    Substitute(&conf, "listen 80;", "listen 127.0.0.1:@PORT@;");
    std::string temp_paths;
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
      temp_paths += std::string("    ") + t + "_temp_path " + gateway_dir + t + "_temp;\n";
    }
    Substitute(&conf, "http {\n", "http {\n" + temp_paths);
    conf = std::string("daemon off;\n") + (::geteuid() == 0 ? "user root;\n" : "") + conf;
    auto gateway_conf = [&](const std::vector<int>& ports) {
      std::string c = conf;
      c.replace(c.find("@PORT@"), 6, std::to_string(ports[0]));
      return c;
    };
    std::vector<int> gateway_port;
    gateway_ = NginxServer::StartOnFreePorts(gateway_dir, 1, gateway_conf, &gateway_port, &error);
    ASSERT_NE(gateway_, nullptr) << error;
    port_ = gateway_port[0];
    scratch_ = dir_.path();
  }

  HttpReply Get(const std::string& target) {
    HttpCall call;
    call.target = target;
    call.host = "www.example.com";
    return CurlRequest(port_, call, scratch_);
  }

  std::string FarmSaw() { return zelk::testing::FileBytes(dir_.path() + "farm/seen.log"); }

  zelk::testing::TempDir dir_;
  std::string module_dir_, scratch_;
  int port_ = 0;
  std::unique_ptr<NginxServer> farm_, gateway_;  // the gateway stops first
};

TEST_F(GatewayTest, CleanRequestsReachBothServersWithIdentityHeadersRewritten) {
  std::set<std::string> served_by;
  for (int i = 0; i < 4; ++i) {
    const HttpReply reply = Get("/news.asp?id=" + std::to_string(i));
    ASSERT_EQ(reply.error, "");
    EXPECT_EQ(reply.status, 200);
    served_by.insert(reply.body);
    ASSERT_NE(reply.Header("Server"), nullptr);
    EXPECT_EQ(*reply.Header("Server"), "ZeLk Web Firewall");
    ASSERT_NE(reply.Header("X-Powered-By"), nullptr);
    EXPECT_EQ(*reply.Header("X-Powered-By"), "ZeLkWAF/2.0.0");
    EXPECT_EQ(reply.Header("X-AspNet-Version"), nullptr);
  }
  EXPECT_EQ(served_by, (std::set<std::string>{"iis1\n", "iis2\n"}));
}

TEST_F(GatewayTest, AttacksAreRefusedAtTheGatewayAndNeverReachTheFarm) {
  const HttpReply injection = Get("/news.asp?id=1%20union%20select%201,2");
  EXPECT_EQ(injection.status, 200);
  EXPECT_EQ(injection.body, BuildBlockPage("GET请求存在注入语句!", "id=1%20union%20select%201,2",
                                           "www.example.com"));
  const HttpReply database = Get("/db/data.mdb");
  EXPECT_EQ(database.body, BuildBlockPage("请求文件非法!", "/db/data.mdb", "www.example.com"));

  HttpCall upload;
  upload.method = "POST";
  upload.target = "/upload.asp";
  upload.host = "www.example.com";
  upload.headers = {{"Content-Type", "multipart/form-data; boundary=B"}};
  upload.has_body = true;
  upload.body =
      "--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"1.asp;.jpg\"\r\n\r\nx\r\n"
      "--B--\r\n";
  EXPECT_EQ(CurlRequest(port_, upload, scratch_).body,
            BuildBlockPage("禁止上传Web后门!", "1.asp;.jpg", "www.example.com"));

  EXPECT_EQ(Get("/index.asp").status, 200);  // the farm does see clean requests
  // The farm logs a request after answering it: wait for the line.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (FarmSaw().empty() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(FarmSaw(), "/index.asp\n");
  std::istringstream log(zelk::testing::FileBytes(module_dir_ + "ZelkWAFLog.txt"));
  int lines = 0;
  for (std::string line; std::getline(log, line);) ++lines;
  EXPECT_EQ(lines, 3);
}

TEST_F(GatewayTest, FarmsForbiddenAndScriptErrorAnswersAreMasked) {
  const HttpReply forbidden = Get("/secret/");
  EXPECT_EQ(forbidden.status, 404);
  EXPECT_EQ(forbidden.body, BuildBlockPage("目录存在!", "访问限制", "#"));
  EXPECT_EQ(forbidden.Header("X-Powered-By"), nullptr);
  const HttpReply failed = Get("/broken.asp");
  EXPECT_EQ(failed.status, 200);
  EXPECT_EQ(failed.body, BuildBlockPage("脚本错误!", "访问限制", "#"));
  EXPECT_EQ(failed.Header("X-AspNet-Version"), nullptr);
}

}  // namespace
}  // namespace zelk::filter
