// ZelkWAF.exe: the manager's entry. COM is initialised on this (the window's)
// thread as a single-threaded apartment before the window exists: the
// metabase objects, the shell-link object and the folder picker are created
// here later. The program takes no arguments.
// <windows.h> (without its clashing macros) comes first.
// clang-format off
#include "manager/shell/win32.h"
#include <ole2.h>
#undef GetObject
// clang-format on

#include <memory>

#include "manager/iis/metabase_adsi_win32.h"
#include "manager/shell/main_window_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // OleInitialize gives the apartment the folder picker's new-style dialog
  // needs, as well as COM.
  const HRESULT com = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&icc);

  int exit_code = 0;
  {
    zelk::manager::shell::TForm1 form(instance, zelk::manager::MakeAdsiMetabase());
    if (!form.Create()) {
      MessageBoxA(nullptr, "CreateWindowExA failed", zelk::manager::shell::kAppTitle,
                  MB_OK | MB_ICONSTOP);
      exit_code = 1;
    } else {
      form.ShowForm();
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
