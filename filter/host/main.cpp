// zelkwaf-filter: runs requests through a module folder's settings exactly as
// the filter module would inside IIS, for trying a settings file before
// deploying it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "filter/host/host_server.h"
#include "filter/module.h"
#include "filter/patterns.h"
#include "platform/codepage.h"

namespace {

using zelk::filter::Outcome;
namespace host = zelk::filter::host;

constexpr int kExitPassed = 0;
constexpr int kExitAnswered = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "用法:\n"
    "  zelkwaf-filter [--module-dir 目录] [--remote-addr 地址] [--status 状态码]\n"
    "                 [--header \"名称: 值\"]... [请求文件]\n"
    "  zelkwaf-filter [--module-dir 目录] --batch [文件]\n"
    "  zelkwaf-filter --show-patterns\n"
    "\n"
    "按过滤模块在 IIS 中的方式载入模块目录(ZelkWAF.ini、ZelkWAF.dst、ZelkWAFLog.txt),\n"
    "从文件或标准输入读取一个原始 HTTP/1.x 请求(请求行和头部, 到第一个空行为止, 然后是\n"
    "Content-Length 或 Transfer-Encoding: chunked 给出的请求体),\n"
    "运行过滤器, 并把客户端将收到的字节原样写到标准输出。\n"
    "\n"
    "选项:\n"
    "  --module-dir 目录   模块目录(默认: 当前目录)\n"
    "  --remote-addr 地址  客户端地址 REMOTE_ADDR(默认: 127.0.0.1)\n"
    "  --status 状态码     请求放行时服务器返回的状态码(默认: 200; 401 还会触发匿名访问通知)\n"
    "  --header \"名称: 值\" 服务器响应中附加的头部, 可重复\n"
    "  --batch [文件]      每行一个请求: \"目标\" 或 \"方法 目标\"(方法默认 GET, 主机为 "
    "localhost),\n"
    "                      可再加制表符和请求体(按 application/x-www-form-urlencoded 发送);\n"
    "                      每个请求输出一行: passed、blocked 或 learned, 制表符, "
    "行中的方法和目标;\n"
    "                      无效的行输出 error, 制表符, 该行(说明写到标准错误), 其余行照常处理\n"
    "  --show-patterns     显示三个内置注入规则的明文\n"
    "  --help              显示本帮助\n"
    "\n"
    "退出码: 0 请求被放行; 1 过滤器自行应答(拦截页或替换响应); 2 用法或输入错误\n"
    "(--batch: 有无效的行)。\n";

void PrintForPeople(std::FILE* to, const std::string& gbk) {
  const std::string text = zelk::platform::ForTerminal(gbk);
  std::fwrite(text.data(), 1, text.size(), to);
}

int UsageError(const std::string& message) {
  PrintForPeople(stderr, "zelkwaf-filter: " + message + "\n请用 --help 查看用法。\n");
  return kExitUsage;
}

bool ReadAll(const std::string& path, std::string* out) {
  if (path.empty() || path == "-") {
    out->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return !std::cin.bad();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

const char* OutcomeName(Outcome o) {
  switch (o) {
    case Outcome::kBlocked:
      return "blocked";
    case Outcome::kLearned:
      return "learned";
    default:
      return "passed";
  }
}

// One batch line: "TARGET", "METHOD TARGET", or either followed by a tab and
// a body (sent as application/x-www-form-urlencoded); the target an
// origin-form path. *shown is what the output line names. Returns false
// with *error for anything else.
bool ParseBatchLine(const std::string& line, host::HttpRequest* req, std::string* shown,
                    std::string* error) {
  const std::size_t tab = line.find('\t');
  std::vector<std::string> words;
  std::istringstream split(line.substr(0, tab));
  for (std::string w; split >> w;) words.push_back(w);
  if (words.size() == 1) {
    req->method = "GET";
    req->target = words[0];
    *shown = words[0];
  } else if (words.size() == 2) {
    req->method = words[0];
    req->target = words[1];
    *shown = words[0] + " " + words[1];
  } else {
    *error = "应为 \"目标\" 或 \"方法 目标\", 可再加制表符和请求体";
    return false;
  }
  if (req->target[0] != '/') {
    *error = words.size() == 2 ? "目标应以 / 开头" : "缺少目标(目标应以 / 开头)";
    return false;
  }
  req->headers.emplace_back("Host", "localhost");
  if (tab != std::string::npos) {
    req->body = line.substr(tab + 1);
    req->headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    req->headers.emplace_back("Content-Length", std::to_string(req->body.size()));
  }
  return true;
}

// Every line gets a verdict on standard output; a line that is not a request
// gets "error" and a message on standard error, and the batch goes on. The
// exit status is kExitUsage when any line was bad.
int RunBatch(zelk::filter::Module& module, const std::string& text,
             const host::ServeOptions& options) {
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  bool any_bad = false;
  while (std::getline(lines, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    host::HttpRequest req;
    std::string shown, error;
    if (!ParseBatchLine(line, &req, &shown, &error)) {
      any_bad = true;
      std::cout << "error\t" << line << '\n';
      std::cout.flush();
      PrintForPeople(stderr, "zelkwaf-filter: 第 " + std::to_string(number) + " 行无效: " + error +
                                 ": " + line + "\n");
      continue;
    }
    const host::ServeResult r = host::ServeRequest(module, req, options);
    const Outcome outcome =
        r.outcome == Outcome::kPassed && r.answered_by_filter ? Outcome::kBlocked : r.outcome;
    std::cout << OutcomeName(outcome) << '\t' << shown << '\n';
  }
  std::cout.flush();
  return any_bad ? kExitUsage : kExitPassed;
}

}  // namespace

int main(int argc, char** argv) try {
  std::string module_dir = ".";
  std::string input_path;
  bool batch = false;
  bool have_input = false;
  host::ServeOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      PrintForPeople(stdout, kUsage);
      return kExitPassed;
    } else if (arg == "--show-patterns") {
      for (int n = 1; n <= 3; ++n) {
        std::cout << "# built-in text " << n << "\n" << zelk::filter::BuiltinPatternText(n) << "\n";
      }
      return kExitPassed;
    } else if (arg == "--module-dir") {
      if (!value(&module_dir)) return UsageError("--module-dir 需要一个目录");
      module_dir = zelk::platform::FromTerminal(module_dir);
    } else if (arg == "--remote-addr") {
      if (!value(&options.remote_addr)) return UsageError("--remote-addr 需要一个地址");
    } else if (arg == "--status") {
      if (!value(&v)) return UsageError("--status 需要一个状态码");
      char* end = nullptr;
      const long code = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || code < 100 || code > 999) {
        return UsageError("状态码无效: " + zelk::platform::FromTerminal(v));
      }
      options.status = static_cast<int>(code);
    } else if (arg == "--header") {
      if (!value(&v)) return UsageError("--header 需要 \"名称: 值\"");
      const std::size_t colon = v.find(':');
      if (colon == std::string::npos || colon == 0) {
        return UsageError("头部格式应为 \"名称: 值\": " + zelk::platform::FromTerminal(v));
      }
      std::string val = v.substr(colon + 1);
      val.erase(0, val.find_first_not_of(' '));
      options.headers.emplace_back(v.substr(0, colon), val);
    } else if (arg == "--batch") {
      batch = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return UsageError("未知选项: " + zelk::platform::FromTerminal(arg));
    } else {
      if (have_input) return UsageError("只能给出一个请求文件");
      input_path = arg;
      have_input = true;
    }
  }
  std::string text;
  if (!ReadAll(input_path, &text)) {
    return UsageError("无法读取文件: " + zelk::platform::FromTerminal(input_path));
  }
  if (!module_dir.empty() && module_dir.back() != '/' && module_dir.back() != '\\')
    module_dir += '/';
  auto module = zelk::filter::LoadModule(module_dir);
  int rc;
  if (batch) {
    rc = RunBatch(*module, text, options);
  } else {
    std::string error;
    const auto request = host::ParseRawRequest(text, &error);
    if (!request) {
      zelk::filter::UnloadModule(std::move(module));
      return UsageError("请求无效: " + error);
    }
    const host::ServeResult r = host::ServeRequest(*module, *request, options);
    std::fwrite(r.output.data(), 1, r.output.size(), stdout);
    std::fflush(stdout);
    rc = r.answered_by_filter ? kExitAnswered : kExitPassed;
  }
  zelk::filter::UnloadModule(std::move(module));
  return rc;
} catch (const std::exception& e) {
  std::fprintf(stderr, "zelkwaf-filter: %s\n", e.what());
  return kExitUsage;
}
