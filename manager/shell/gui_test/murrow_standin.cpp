// A stand-in for the external scanner "Murrow\Murrow.exe": appends one line
// to "MurrowLog.txt" beside itself and ends, so that a test can see that the
// manager started it (and how often).
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string log(path, n);
  log = log.substr(0, log.find_last_of('\\') + 1) + "MurrowLog.txt";
  HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  const char line[] = "started\r\n";
  DWORD written = 0;
  WriteFile(f, line, sizeof line - 1, &written, nullptr);
  CloseHandle(f);
  return 0;
}
