// The main window's icon in the notification area and its menu
// PopupMenuTray ("显示/隐藏", "退出"). The icon reports mouse actions to its
// window as WM_TRAYICON with the mouse message in lParam; the menu's items
// arrive as WM_COMMAND with idShowHidePop and idExitMenu. What each does is
// the window's business (main_window_handlers_win32.cpp).
//
// On the window's thread only. Neither copied nor moved: it owns the menu,
// and the shell knows the icon by the window and identifier it was added with.
#pragma once

#include "manager/shell/layout.h"
#include "manager/shell/win32.h"

namespace zelk::manager::shell {

// The icon's callback message (WM_USER + 2).
inline constexpr UINT WM_TRAYICON = WM_USER + 2;
static_assert(WM_TRAYICON == kTrayIconMessage, "the icon's callback message is 1026");

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon();
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Builds the menu; it is shown by ShowMenu.
  void CreateMenu();
  // Adds the icon (the tip is the program's title) for owner. The shell's
  // answer is not examined: without an icon the program runs on.
  void Add(HWND owner, HICON icon);
  // Takes the icon away (harmless when it was never added).
  void Remove();
  // Pops the menu up at the cursor, the owner brought to the front first so
  // that the menu closes when the user clicks elsewhere.
  void ShowMenu(HWND owner);

 private:
  HMENU menu_ = nullptr;
  NOTIFYICONDATAA data_{};  // TrayIconData
};

}  // namespace zelk::manager::shell
