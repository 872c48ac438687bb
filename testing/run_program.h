// Runs a built command-line program as an administrator's script would, for
// the end-to-end tests of the command-line tools. Paths are what the system
// takes (on Linux the bytes on disk).
#pragma once

#include <string>

namespace zelk::testing {

struct ProgramRun {
  int exit_code;  // -1 when the program did not start or did not exit normally
  std::string out, err;
};

// One argument quoted for the command line RunProgram hands on: for /bin/sh
// on POSIX systems, by the rules the C runtime splits a command line with on
// Windows.
std::string ShellQuote(const std::string& arg);

// Runs `program args` (args already quoted) with no standard input; standard
// output and error go through files in scratch_dir (which ends in a
// separator). The program starts in work_dir, or in this program's current
// folder when that is empty. POSIX systems run it through /bin/sh under the
// given locale (LC_ALL); Windows starts it with CreateProcessA and has no use
// for the locale.
ProgramRun RunProgram(const std::string& program, const std::string& args,
                      const std::string& scratch_dir, const std::string& locale = "C.UTF-8",
                      const std::string& work_dir = "");

}  // namespace zelk::testing
