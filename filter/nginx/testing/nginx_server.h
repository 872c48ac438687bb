// Test support for the nginx module: a real nginx started on loopback ports
// with the module loaded, and curl as its client.
//
// Every process a server starts (the master and its workers) is in a process
// group of its own; the destructor ends the whole group and waits for the
// master, so no test leaves nginx running. Linux only.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zelk::filter::testing {

// A loopback TCP port nobody listens on at the time of the call.
int FreeLoopbackPort();

// The top of an nginx.conf for a server kept under `dir` (ends in '/'):
// load_module for the built module, foreground, pid, error log and every
// temporary folder inside dir, no access log. The caller appends the http
// block. Worker processes as given.
std::string NginxConfigHead(const std::string& dir, int workers);

class NginxServer {
 public:
  // Writes conf to dir + "nginx.conf", starts nginx and waits (up to 20 s)
  // until every port in `ports` accepts connections. Null with *error (the
  // error log included) when nginx does not start.
  static std::unique_ptr<NginxServer> Start(const std::string& dir, const std::string& conf,
                                            const std::vector<int>& ports, std::string* error);
  // Start with the configuration make_conf gives for `count` free loopback
  // ports (returned in *ports). Tests run in parallel, so a port found free
  // may be taken before nginx binds it: then new ports are tried, up to five
  // times.
  using ConfigForPorts = std::function<std::string(const std::vector<int>& ports)>;
  static std::unique_ptr<NginxServer> StartOnFreePorts(const std::string& dir, std::size_t count,
                                                       const ConfigForPorts& make_conf,
                                                       std::vector<int>* ports, std::string* error);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // The worker processes' ids (children of the master), read from /proc.
  std::vector<pid_t> WorkerPids() const;
  // Waits (up to 20 s) until the master has n workers; false if it never has.
  bool WaitForWorkers(std::size_t n) const;
  std::string ErrorLog() const;
  // Asks the master to reload its configuration (SIGHUP) and waits (up to
  // 20 s) until none of the workers it had before is left.
  bool Reload() const;

 private:
  NginxServer(pid_t master, std::string dir) : master_(master), dir_(std::move(dir)) {}
  pid_t master_;
  std::string dir_;
};

struct HttpReply {
  int status = 0;                                            // 0: no reply (see error)
  std::vector<std::pair<std::string, std::string>> headers;  // in order
  std::string body;
  std::string error;  // curl's complaint when it failed

  // The first header of that name (any case); nullptr when absent.
  const std::string* Header(const std::string& name) const;
};

struct HttpCall {
  std::string method = "GET";
  std::string target = "/";  // sent as it stands (curl --request-target)
  // Request headers in order. curl's own Accept and User-Agent are not sent
  // unless given here. Without a Host the request goes as HTTP/1.0.
  std::vector<std::pair<std::string, std::string>> headers;
  bool has_host = true;
  std::string host = "localhost";
  bool has_body = false;
  std::string body;
};

// Sends one request with curl to 127.0.0.1:port; scratch is a folder (ends
// in '/') for curl's files.
HttpReply CurlRequest(int port, const HttpCall& call, const std::string& scratch);

// The built module and the nginx and curl programs.
std::string ModulePath();
std::string NginxProgram();
std::string CurlProgram();

}  // namespace zelk::filter::testing
