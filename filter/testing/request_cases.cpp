#include "filter/testing/request_cases.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "filter/host/host_server.h"
#include "platform/codepage.h"

namespace zelk::filter::testing {
namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(sep, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// \r \n \t \\ and \xHH in a body cell.
std::string Unescape(const std::string& cell) {
  std::string out;
  for (std::size_t i = 0; i < cell.size(); ++i) {
    if (cell[i] != '\\' || i + 1 == cell.size()) {
      out += cell[i];
      continue;
    }
    const char e = cell[++i];
    if (e == 'r') {
      out += '\r';
    } else if (e == 'n') {
      out += '\n';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'x' && i + 2 < cell.size()) {
      out += static_cast<char>(std::stoi(cell.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += e;
    }
  }
  return out;
}

std::optional<std::string> Optional(const std::string& cell) {
  if (cell == "-") return std::nullopt;
  return cell;
}

}  // namespace

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<RequestCase> LoadRequestCases(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<RequestCase> cases;
  std::string line;
  int number = 0;
  bool header_seen = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (!header_seen) {  // the column names
      header_seen = true;
      continue;
    }
    const std::vector<std::string> f = Split(platform::Utf8ToGbk(line), '\t');
    if (f.size() != 15) {
      throw std::runtime_error(path + ":" + std::to_string(number) +
                               ": expected 15 columns, found " + std::to_string(f.size()));
    }
    RequestCase c;
    c.name = f[0];
    if (f[1] != "-") {
      std::string ini = "[ZelkWAF]\r\n";
      if (f[1] != "[]") {
        for (const std::string& kv : Split(f[1], ';')) ini += kv + "\r\n";
      }
      c.settings_file = ini;
    }
    if (f[2] != "-") c.whitelist = Split(f[2], '|');
    c.method = f[3];
    c.target = f[4];
    c.host = Optional(f[5]);
    c.cookie = Optional(f[6]);
    c.range = Optional(f[7]);
    if (f[8] != "-") {
      // "Name: value" entries separated by a literal \n.
      std::size_t start = 0;
      for (;;) {
        const std::size_t end = f[8].find("\\n", start);
        const std::string h = f[8].substr(start, end == std::string::npos ? end : end - start);
        const std::size_t colon = h.find(": ");
        if (colon == std::string::npos) {
          throw std::runtime_error(path + ":" + std::to_string(number) + ": bad header " + h);
        }
        c.headers.emplace_back(h.substr(0, colon), h.substr(colon + 2));
        if (end == std::string::npos) break;
        start = end + 2;
      }
    }
    if (f[9] != "-") c.body = Unescape(f[9]);
    c.status = std::stoi(f[10]);
    c.expect = f[11];
    if (c.expect != "passed" && c.expect != "blocked" && c.expect != "learned" &&
        c.expect != "replaced") {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": unknown outcome " +
                               c.expect);
    }
    c.headline = f[12] == "-" ? "" : f[12];
    c.reason = f[13] == "-" ? "" : f[13];
    c.page_host = c.expect == "replaced" ? "#" : c.host.value_or("");
    if (f[14] == "nofile") {
      c.log_file = false;
    } else {
      c.log = Optional(f[14]);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

std::string RequestCasesPath() {
  const char* env = std::getenv("ZELK_SOURCE_DIR");
#ifdef ZELK_SOURCE_DIR
  const std::string root = env != nullptr ? env : ZELK_SOURCE_DIR;
#else
  const std::string root = env != nullptr ? env : ".";
#endif
  return root + "/testdata/request_cases.tsv";
}

void WriteModuleFiles(const RequestCase& c, const std::string& dir) {
  if (c.settings_file) std::ofstream(dir + "ZelkWAF.ini", std::ios::binary) << *c.settings_file;
  if (c.whitelist) {
    std::ofstream out(dir + "ZelkWAF.dst", std::ios::binary);
    for (const std::string& e : *c.whitelist) out << e << "\r\n";
  }
  if (c.log_file) std::ofstream(dir + "ZelkWAFLog.txt", std::ios::binary);
}

std::vector<std::pair<std::string, std::string>> CaseServerVariables(const RequestCase& c) {
  host::HttpRequest req{c.method, c.target, {}, {}};
  if (c.host) req.headers.emplace_back("Host", *c.host);
  if (c.cookie) req.headers.emplace_back("Cookie", *c.cookie);
  if (c.range) req.headers.emplace_back("Range", *c.range);
  for (const auto& h : c.headers) req.headers.push_back(h);
  if (c.body) req.body = *c.body;
  const auto vars = host::DeriveServerVariables(req, kCaseRemoteAddr);
  return {vars.begin(), vars.end()};
}

}  // namespace zelk::filter::testing
