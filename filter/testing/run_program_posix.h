// Runs a built command-line program through /bin/sh, as an administrator's
// script would, for the end-to-end tests of the Linux tools.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "filter/testing/request_cases.h"

namespace zelk::filter::testing {

struct ProgramRun {
  int exit_code;  // -1 when the program did not exit normally
  std::string out, err;
};

// Single-quotes a word for the shell.
inline std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs `program args` (args already quoted) under the given locale with no
// standard input; standard output and error go through files in scratch_dir.
inline ProgramRun RunProgram(const std::string& program, const std::string& args,
                             const std::string& scratch_dir,
                             const std::string& locale = "C.UTF-8") {
  const std::string out = scratch_dir + "stdout", err = scratch_dir + "stderr";
  const std::string cmd = "LC_ALL=" + locale + " " + ShellQuote(program) + " " + args + " >" +
                          ShellQuote(out) + " 2>" + ShellQuote(err) + " </dev/null";
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(out), ReadFileBytes(err)};
}

}  // namespace zelk::filter::testing
