#include <sys/wait.h>

#include <cstdlib>

#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::testing {

std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ProgramRun RunProgram(const std::string& program, const std::string& args,
                      const std::string& scratch_dir, const std::string& locale,
                      const std::string& work_dir) {
  const std::string out = scratch_dir + "stdout", err = scratch_dir + "stderr";
  std::string cmd = work_dir.empty() ? "" : "cd " + ShellQuote(work_dir) + " && ";
  cmd += "LC_ALL=" + locale + " " + ShellQuote(program) + " " + args + " >" + ShellQuote(out) +
         " 2>" + ShellQuote(err) + " </dev/null";
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, FileBytes(out), FileBytes(err)};
}

}  // namespace zelk::testing
