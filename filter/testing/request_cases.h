// The shared table of request cases (testdata/request_cases.tsv): one request
// each, the module folder it runs against, and what must come of it. Every
// host runs the same table: the core with a fake context, the command-line
// host, and the ISAPI module under Wine.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::filter::testing {

// The shared test helpers (testing/), by the names the filter's tests use.
using zelk::testing::ProgramRun;
using zelk::testing::RunProgram;
using zelk::testing::ShellQuote;
using zelk::testing::TempDir;

inline constexpr char kCaseRemoteAddr[] = "10.0.0.5";
inline constexpr char kCaseWebRoot[] = "C:\\Inetpub\\wwwroot";

struct RequestCase {
  std::string name;
  std::optional<std::string> settings_file;           // whole file text, or no file
  std::optional<std::vector<std::string>> whitelist;  // entries, or no file
  bool log_file = true;                               // an empty event log exists
  std::string method;
  std::string target;
  std::optional<std::string> host, cookie, range;            // headers; nullopt = absent
  std::vector<std::pair<std::string, std::string>> headers;  // further request headers, in order
  std::optional<std::string> body;                           // request body, or none
  int status = 200;                // the server's response when the request goes on
  std::string expect;              // passed | blocked | learned | replaced
  std::string headline;            // block page headline ("" when none)
  std::string reason;              // block page reason, unescaped
  std::string page_host;           // host of the page's home link
  std::optional<std::string> log;  // expected message after the time stamp
};

// Test parameters print as their case name.
inline void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

// Reads the table; texts are converted from the file's UTF-8 to GBK.
// Throws std::runtime_error naming the line for a malformed table.
std::vector<RequestCase> LoadRequestCases(const std::string& path);

// testdata/request_cases.tsv under the source tree.
std::string RequestCasesPath();

// Writes the case's settings file, white list and event log into dir
// (which ends in a separator and exists).
void WriteModuleFiles(const RequestCase& c, const std::string& dir);

// The server variables IIS would give the filter for the case.
std::vector<std::pair<std::string, std::string>> CaseServerVariables(const RequestCase& c);

// Reads a whole file; empty when missing.
std::string ReadFileBytes(const std::string& path);

}  // namespace zelk::filter::testing
