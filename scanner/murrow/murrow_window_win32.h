// Murrow.exe's one window: the folder to scan and the user's rule folder,
// Start/Stop, the progress line, and two lists behind flat tab buttons:
// "扫描结果" (the findings of the current scan) and "隔离区" (what the
// quarantine folder holds). The bottom bar moves the selected finding to
// quarantine, restores the selected quarantined file, opens the selected
// file's folder in Explorer and opens the log.
//
// It looks like the manager's window: the same fonts, drawn icons and the
// skin engine, switched on or off by the manager's "Skin" setting.
//
// Threading rule: everything runs on the thread that created the window.
// The scan runs on its ScanJob's worker thread, which only posts
// WM_SCANCHANGED; the window then collects the news from the job. Closing
// the window stops a running scan and waits for its thread (the files being
// matched are finished first).
//
// Errors: nothing throws out of the window procedure; failures of an action
// are shown in a message box with the window's caption.
//
// Neither copied nor moved: the window procedure finds the object by its
// address.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "manager/shell/main_window_controls_win32.h"
#include "manager/shell/win32.h"
#include "manager/skin/skin.h"
#include "scanner/murrow/murrow_core.h"
#include "scanner/murrow/scan_job.h"

namespace zelk::scanner::murrow {

inline constexpr char kMurrowClass[] = "TMurrowForm";
inline constexpr char kMurrowCaption[] = "ZelkWEB后门查杀";
inline constexpr UINT WM_SCANCHANGED = WM_APP + 1;

// Control identifiers (the GUI test finds controls by them).
enum MurrowControl : int {
  idEdtScanDir = 1001,
  idBtnScanDir,
  idEdtRuleDir,
  idBtnRuleDir,
  idBtnScan,
  idLblProgress,
  idTabs,
  idLstFindings,
  idLstQuarantine,
  idBtnQuarantine,
  idBtnRestore,
  idBtnOpenFolder,
  idBtnOpenLog,
};

// Tab buttons: fixed width, the findings first.
inline constexpr int kTabWidth = 96, kTabHeight = 24;
inline constexpr int kClientWidth = 640, kClientHeight = 440;

class MurrowForm {
 public:
  MurrowForm(HINSTANCE instance, MurrowPaths paths);
  ~MurrowForm();
  MurrowForm(const MurrowForm&) = delete;
  MurrowForm& operator=(const MurrowForm&) = delete;

  // Creates the window and its controls and loads the settings; false when
  // the window cannot be made.
  bool Create(int show_command);
  HWND handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  void BuildControls();
  HWND AddControl(const char* cls, const char* text, DWORD style, DWORD ex_style, int id, int x,
                  int y, int w, int h, HWND parent = nullptr);
  void AddColumns(HWND list, const std::vector<std::pair<const char*, int>>& columns);
  void Layout();

  void OnCommand(int id);
  void OnNotify(const NMHDR& hdr);
  void StartOrStopScan();
  void OnScanChanged();
  void QuarantineSelected();
  void RestoreSelected();
  void OpenSelectedFolder();
  void ChooseFolder(int edit_id, const char* title);
  void ShowList(int index);
  void FillQuarantineList();
  void UpdateButtons();
  void SaveSettings();

  std::string Text(int id) const;
  void SetText(int id, const std::string& text);
  HWND Ctl(int id) const;
  int SelectedRow(int list_id) const;
  void AddRow(int list_id, const std::vector<std::string>& cells);
  void Message(const std::string& text, UINT icon);

  HINSTANCE instance_;
  MurrowPaths paths_;
  HWND hwnd_ = nullptr;
  HWND page_ = nullptr;
  HWND bar_ = nullptr;
  std::map<int, HWND> controls_;
  HFONT song_font_ = nullptr;
  manager::shell::IconSet icons_;
  manager::skin::SkinManager skin_;
  std::unique_ptr<ScanJob> job_;
  std::string scanning_folder_;
  std::vector<Finding> findings_;             // rows of idLstFindings
  std::vector<QuarantineEntry> quarantined_;  // rows of idLstQuarantine
  int shown_list_ = 0;
};

}  // namespace zelk::scanner::murrow
