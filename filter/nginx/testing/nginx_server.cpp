#include "filter/nginx/testing/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/text.h"
#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::filter::testing {
namespace {

bool PortAccepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// Waits for the master to exit; true when it did within the time-out.
bool WaitForExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
    if (r == pid || r < 0) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Whether any process of the group is left.
bool GroupAlive(pid_t group) { return ::kill(-group, 0) == 0; }

}  // namespace

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

std::string NginxConfigHead(const std::string& dir, int workers) {
  std::string c = "load_module " + ModulePath() + ";\n";
  c += "daemon off;\nmaster_process on;\nworker_processes " + std::to_string(workers) + ";\n";
  // A master running as root would hand the workers to "nobody", who may not
  // read the test's folders.
  if (::geteuid() == 0) c += "user root;\n";
  c += "pid " + dir + "nginx.pid;\nerror_log " + dir + "error.log info;\n";
  c += "events { worker_connections 256; }\n";
  c += "http {\n  access_log off;\n";
  for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    c += std::string("  ") + t + "_temp_path " + dir + t + "_temp;\n";
  }
  return c;
}

std::unique_ptr<NginxServer> NginxServer::Start(const std::string& dir, const std::string& conf,
                                                const std::vector<int>& ports, std::string* error) {
  std::ofstream(dir + "nginx.conf", std::ios::binary) << conf;
  std::filesystem::remove(dir + "error.log");
  const std::string program = NginxProgram();
  const std::string conf_path = dir + "nginx.conf";
  const std::string error_path = dir + "error.log";
  const pid_t pid = ::fork();
  if (pid < 0) {
    *error = "fork failed";
    return nullptr;
  }
  if (pid == 0) {
    ::setpgid(0, 0);
    // Should the test die without its destructors, the master still gets a
    // signal to stop, and stops its workers.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const char* argv[] = {program.c_str(),   "-p", dir.c_str(),        "-c",
                          conf_path.c_str(), "-e", error_path.c_str(), nullptr};
    ::execv(program.c_str(), const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::setpgid(pid, pid);  // also here, so the group exists whoever runs first
  std::unique_ptr<NginxServer> server(new NginxServer(pid, dir));
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int port : ports) {
    while (!PortAccepts(port)) {
      if (::waitpid(pid, nullptr, WNOHANG) == pid) {
        server->master_ = -1;
        *error = "nginx exited at start: " + server->ErrorLog();
        return nullptr;
      }
      if (std::chrono::steady_clock::now() > end) {
        *error =
            "nginx does not listen on port " + std::to_string(port) + ": " + server->ErrorLog();
        return nullptr;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return server;
}

std::unique_ptr<NginxServer> NginxServer::StartOnFreePorts(const std::string& dir,
                                                           std::size_t count,
                                                           const ConfigForPorts& make_conf,
                                                           std::vector<int>* ports,
                                                           std::string* error) {
  for (int attempt = 0;; ++attempt) {
    ports->clear();
    while (ports->size() < count) {
      const int port = FreeLoopbackPort();
      if (std::find(ports->begin(), ports->end(), port) == ports->end()) ports->push_back(port);
    }
    auto server = Start(dir, make_conf(*ports), *ports, error);
    if (server != nullptr || attempt == 4 ||
        error->find("Address already in use") == std::string::npos) {
      return server;
    }
  }
}

NginxServer::~NginxServer() {
  if (master_ <= 0) return;
  ::kill(-master_, SIGTERM);  // fast shutdown of the master and its workers
  if (!WaitForExit(master_, std::chrono::seconds(10))) {
    ::kill(-master_, SIGKILL);
    WaitForExit(master_, std::chrono::seconds(10));
  }
  // Workers end with the master; any straggler of the group goes too.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (GroupAlive(master_) && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (GroupAlive(master_)) ::kill(-master_, SIGKILL);
}

std::vector<pid_t> NginxServer::WorkerPids() const {
  std::vector<pid_t> pids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    // pid (comm) state ppid ...
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    int ppid = 0;
    char state = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == master_ &&
        state != 'Z') {
      pids.push_back(static_cast<pid_t>(std::stoi(name)));
    }
  }
  return pids;
}

bool NginxServer::WaitForWorkers(std::size_t n) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (WorkerPids().size() != n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool NginxServer::Reload() const {
  const std::vector<pid_t> old_workers = WorkerPids();
  if (::kill(master_, SIGHUP) != 0) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const std::vector<pid_t> now = WorkerPids();
    const bool old_left = std::any_of(old_workers.begin(), old_workers.end(), [&](pid_t p) {
      return std::find(now.begin(), now.end(), p) != now.end();
    });
    if (!old_left && !now.empty()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string NginxServer::ErrorLog() const { return zelk::testing::FileBytes(dir_ + "error.log"); }

const std::string* HttpReply::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreAsciiCase(key, name)) return &value;
  }
  return nullptr;
}

HttpReply CurlRequest(int port, const HttpCall& call, const std::string& scratch) {
  using zelk::testing::ShellQuote;
  std::string args = "-s -S --max-time 30 --path-as-is -g -o " + ShellQuote(scratch + "body") +
                     " -D " + ShellQuote(scratch + "head");
  if (call.method == "HEAD") {
    args += " --head";
  } else if (call.method != "GET" || call.has_body) {
    args += " -X " + ShellQuote(call.method);
  }
  args += " --request-target " + ShellQuote(call.target);
  bool sets_accept = false, sets_agent = false, sets_type = false;
  for (const auto& [name, value] : call.headers) {
    sets_accept |= EqualsIgnoreAsciiCase(name, "Accept");
    sets_agent |= EqualsIgnoreAsciiCase(name, "User-Agent");
    sets_type |= EqualsIgnoreAsciiCase(name, "Content-Type");
  }
  if (call.has_host) {
    args += " -H " + ShellQuote("Host: " + call.host);
  } else {
    args += " --http1.0 -H 'Host:'";  // HTTP/1.1 requires a Host header
  }
  if (!sets_accept) args += " -H 'Accept:'";
  if (!sets_agent) args += " -H 'User-Agent:'";
  for (const auto& [name, value] : call.headers) args += " -H " + ShellQuote(name + ": " + value);
  if (call.has_body) {
    std::ofstream(scratch + "request-body", std::ios::binary) << call.body;
    args += " --data-binary @" + ShellQuote(scratch + "request-body");
    bool sets_expect = false;
    for (const auto& h : call.headers) sets_expect |= EqualsIgnoreAsciiCase(h.first, "Expect");
    if (!sets_expect) args += " -H 'Expect:'";
    if (!sets_type) args += " -H 'Content-Type:'";  // curl would add a form type
  }
  args += " " + ShellQuote("http://127.0.0.1:" + std::to_string(port) + "/");
  std::filesystem::remove(scratch + "head");
  std::filesystem::remove(scratch + "body");
  const auto run = zelk::testing::RunProgram(CurlProgram(), args, scratch);
  HttpReply reply;
  if (run.exit_code != 0) reply.error = "curl: " + run.err;
  std::string head = zelk::testing::FileBytes(scratch + "head");
  // An interim "100 Continue" comes first: the final answer's head is the last.
  for (std::size_t end;
       (end = head.find("\r\n\r\n")) != std::string::npos && end + 4 < head.size();) {
    head.erase(0, end + 4);
  }
  reply.body = zelk::testing::FileBytes(scratch + "body");
  std::size_t pos = 0;
  bool first = true;
  while (pos < head.size()) {
    std::size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(pos, end - pos);
    pos = end + 2;
    if (line.empty()) break;
    if (first) {
      first = false;
      const std::size_t sp = line.find(' ');
      if (sp != std::string::npos) reply.status = std::atoi(line.c_str() + sp + 1);
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    reply.headers.emplace_back(line.substr(0, colon),
                               std::string(TrimBlanks(std::string_view(line).substr(colon + 1))));
  }
  return reply;
}

std::string ModulePath() {
  const char* env = std::getenv("ZELK_NGINX_MODULE");
  return env != nullptr ? env : ZELK_NGINX_MODULE;
}
std::string NginxProgram() { return ZELK_NGINX_PROGRAM; }
std::string CurlProgram() { return ZELK_CURL_PROGRAM; }

}  // namespace zelk::filter::testing
