// TForm1, the manager's one main window: navigation tree, ten pages, bottom
// bar, notification icon, and the handlers that bind the pages to the
// manager core (settings, white list, install, snapshots, site monitor).
//
// The window is spread over files by job: main_window_win32.cpp holds the
// object's life, the window procedure and the core's interfaces;
// main_window_controls_win32.cpp builds the controls; settings_bindings.cpp
// is the table of which control shows which settings key;
// tray_icon_win32.cpp is the notification icon; main_window_handlers_win32.cpp
// holds what clicks on buttons, the tree and the icon do.
//
// Threading rule: everything runs on the thread that created the window
// (COM initialised there as a single-threaded apartment). The only other
// thread is the site monitor's watcher worker, which reaches the window
// through Post (the owner-thread interface): a task queue drained by a
// window message.
//
// Errors: no exception leaves a window procedure. Every handler runs under
// Guard, which shows what escaped in the general error box and goes on with
// the message loop.
//
// Neither copied nor moved: the window procedure finds the object by its
// address, and the watcher's tasks hold it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "manager/common/paths.h"
#include "manager/common/ui.h"
#include "manager/iis/install.h"
#include "manager/iis/metabase.h"
#include "manager/monitor/owner_thread.h"
#include "manager/monitor/site_monitor.h"
#include "manager/shell/layout.h"
#include "manager/shell/main_window_controls_win32.h"
#include "manager/shell/tray_icon_win32.h"
#include "manager/shell/win32.h"
#include "manager/skin/skin.h"

namespace zelk::manager::shell {

inline constexpr char kMainClass[] = "TForm1";
// Drains the owner-thread task queue.
inline constexpr UINT WM_RUNTASKS = WM_APP + 1;
// A tree click, handled after the tree has moved its selection.
inline constexpr UINT WM_TREECLICK = WM_APP + 2;

class TForm1 final : public ManagerUi,
                     public OwnerThread,
                     public RegistrationHost,
                     public MonitorPage {
 public:
  TForm1(HINSTANCE instance, std::unique_ptr<Metabase> metabase);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Creates the window and its controls, then runs FormCreate. False when
  // the window cannot be made.
  bool Create();
  HWND handle() const { return hwnd_; }

  // Runs the show sequence, then makes the window visible (start, and every
  // restore from the notification area).
  void ShowForm();

  // ManagerUi
  void ShowMessage(const std::string& caption, const std::string& text, int style) override;
  void ShowError(const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void SetStatus(const std::string& text) override;
  bool Progress(long count, const std::string& path) override;
  bool ChooseFolder(const std::string& title, std::string* folder) override;
  bool ChooseFile(const FileDialog& dialog, std::string* path) override;
  void OpenFile(const std::string& path) override;

  // OwnerThread
  void Post(std::function<void()> task) override;

  // RegistrationHost
  Metabase& metabase() override { return *metabase_; }
  const ManagerPaths& paths() override { return paths_; }
  ManagerUi& ui() override { return *this; }
  void SetStateLabel(const std::string& text) override;
  void SaveFilterSettings() override;
  void SaveUrlList() override;
  bool GrantFileAccess(const std::string& account, const std::string& path,
                       std::uint32_t mask) override;
  void SetShortcuts(bool create) override;

  // MonitorPage: the page "网站监控" for the site monitor.
  std::string MonitorDirText() override { return controls_.Text(idEdtmondir); }
  void SetMonitorDirText(const std::string& dir) override { controls_.SetText(idEdtmondir, dir); }
  std::string MonitorMaskText() override { return controls_.Text(idCbbmonfileext); }
  bool DeleteNewFilesChecked() override { return controls_.Checked(idChkdelnew); }
  void SetMonitorButtonCaption(const std::string& caption) override {
    controls_.SetText(idBtnfilemon, caption);
  }
  void InsertMonitorLine(const std::string& line) override;
  void SaveMonitorSettings() override { SaveManagerSettings(); }
  // Listed on top like a change, not logged.
  void ShowMonitorNotice(const std::string& text) override { InsertMonitorLine(text); }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Guard(const std::function<void()>& action);

  // Start, show, close and exit (main_window_win32.cpp).
  void FormCreate();
  void FormShow();
  void FormDestroy();
  void LoadFormSettings();
  void SaveManagerSettings();

  // Handlers, named as the controls' events (main_window_handlers_win32.cpp).
  void OnCommand(int id, int code);
  void WAFListClick();
  void WMTrayIcon(LPARAM mouse_message);
  void ShowHidePopClick();
  void HideToTray();
  void ExitMenuClick();
  void btnSettingClick();
  void btnOKClick();
  void btnurlClick();
  void btndelurlClick();
  void btnfilemonClick();
  void btnchkextractClick();
  void btnchkdirClick();
  void btnchklogClick();
  void chkRunClick();
  void chkSkinClick();

  HINSTANCE instance_;
  std::unique_ptr<Metabase> metabase_;
  HWND hwnd_ = nullptr;
  IconSet app_icons_;
  HICON app_icon_small_ = nullptr;  // also the notification icon's picture
  WindowControls controls_;
  TrayIcon tray_;
  skin::SkinManager skin_;

  ManagerPaths paths_;
  bool close_query_attached_ = true;  // FormCloseQuery hides instead of closing
  bool first_show_done_ = false;
  bool extract_stop_ = false;

  std::mutex tasks_mutex_;
  std::deque<std::function<void()>> tasks_;
  // Last, so that it goes first: its watcher posts into the queue above.
  std::unique_ptr<SiteMonitor> monitor_;
};

}  // namespace zelk::manager::shell
