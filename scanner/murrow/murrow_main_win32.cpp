// Murrow.exe: the web-shell scanner's window, started by the manager's
// "Web杀毒" item from the manager's "Murrow" folder, with no arguments.
// COM is initialised on the window's thread for the folder picker.
// clang-format off
#include "manager/shell/win32.h"
#include <ole2.h>
// clang-format on

#include "platform/files.h"
#include "scanner/murrow/murrow_window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
  const HRESULT com = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&icc);

  int exit_code = 0;
  {
    namespace murrow = zelk::scanner::murrow;
    murrow::MurrowForm form(instance, murrow::BuildMurrowPaths(zelk::platform::ExecutableDir()));
    if (!form.Create(show_command)) {
      MessageBoxA(nullptr, "CreateWindowExA failed", murrow::kMurrowCaption, MB_OK | MB_ICONSTOP);
      exit_code = 1;
    } else {
      MSG msg;
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!form.handle() || !IsDialogMessageA(form.handle(), &msg)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        }
      }
      exit_code = static_cast<int>(msg.wParam);
    }
  }
  if (SUCCEEDED(com)) OleUninitialize();
  return exit_code;
}
