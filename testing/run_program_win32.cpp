#include <windows.h>

#include "testing/files.h"
#include "testing/run_program.h"

namespace zelk::testing {
namespace {

// Owns a handle.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (ok()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool ok() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE OpenInheritable(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

std::string ShellQuote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  // Backslashes are literal except before a quote, where each one needs a
  // partner; so do those before the closing quote.
  std::string q = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    q.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    q += c;
  }
  q.append(2 * backslashes, '\\');
  return q + "\"";
}

ProgramRun RunProgram(const std::string& program, const std::string& args,
                      const std::string& scratch_dir, const std::string&,
                      const std::string& work_dir) {
  const std::string out_path = scratch_dir + "stdout", err_path = scratch_dir + "stderr";
  ProgramRun run{-1, {}, {}};
  {
    Handle in(OpenInheritable("NUL", GENERIC_READ, OPEN_EXISTING));
    Handle out(OpenInheritable(out_path, GENERIC_WRITE, CREATE_ALWAYS));
    Handle err(OpenInheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS));
    if (!in.ok() || !out.ok() || !err.ok()) return run;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION process{};
    std::string command = ShellQuote(program) + " " + args;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        work_dir.empty() ? nullptr : work_dir.c_str(), &startup, &process)) {
      return run;
    }
    Handle thread(process.hThread), child(process.hProcess);
    DWORD code = 0;
    if (WaitForSingleObject(child.get(), INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(child.get(), &code)) {
      run.exit_code = static_cast<int>(code);
    }
  }
  run.out = FileBytes(out_path);
  run.err = FileBytes(err_path);
  return run;
}

}  // namespace zelk::testing
