#include "manager/shell/tray_icon_win32.h"

namespace zelk::manager::shell {

TrayIcon::~TrayIcon() {
  if (menu_) DestroyMenu(menu_);
}

void TrayIcon::CreateMenu() {
  menu_ = CreatePopupMenu();
  AppendMenuA(menu_, MF_STRING, idShowHidePop, kMenuShowHide);
  AppendMenuA(menu_, MF_STRING, idExitMenu, kMenuExit);
}

void TrayIcon::Add(HWND owner, HICON icon) {
  data_ = NOTIFYICONDATAA{};
  // The first form of the record: Windows 2000 and later all accept it.
  data_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data_.hWnd = owner;
  data_.uID = 0;
  data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data_.uCallbackMessage = WM_TRAYICON;
  data_.hIcon = icon;
  lstrcpynA(data_.szTip, kAppTitle, 64);
  Shell_NotifyIconA(NIM_ADD, &data_);
}

void TrayIcon::Remove() { Shell_NotifyIconA(NIM_DELETE, &data_); }

void TrayIcon::ShowMenu(HWND owner) {
  SetForegroundWindow(owner);
  POINT pt{};
  GetCursorPos(&pt);
  TrackPopupMenu(menu_, TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, owner, nullptr);
  // Lets the menu close when the user clicks elsewhere.
  PostMessageA(owner, WM_NULL, 0, 0);
}

}  // namespace zelk::manager::shell
