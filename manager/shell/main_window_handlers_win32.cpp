// What the main window's controls do when clicked: the buttons and check
// boxes (by WM_COMMAND), the navigation tree, and the notification icon and
// its menu. Each handler is named as the control's event; the work behind
// most of them is the manager core's.
#include <memory>
#include <string>
#include <vector>

#include "manager/iis/settings_store.h"
#include "manager/shell/main_window_win32.h"
#include "manager/shell/shell_services_win32.h"
#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"

namespace zelk::manager::shell {
namespace {

constexpr char kSnapshotFileTitle[] = "请选择快照文件的路径";
constexpr char kSnapshotFilter[] = "Text File(*.txt)|*.txt|All File(*.*)|*.*";

}  // namespace

// Buttons and check boxes --------------------------------------------------------

void TForm1::OnCommand(int id, int code) {
  // Menu items arrive with code 0, buttons and check boxes with BN_CLICKED.
  if (code != BN_CLICKED && code != 0) return;
  Guard([&] {
    switch (id) {
      case idShowHidePop:
        ShowHidePopClick();
        break;
      case idExitMenu:
        ExitMenuClick();
        break;
      case idBtnSetting:
        btnSettingClick();
        break;
      case idBtnOK:
        btnOKClick();
        break;
      case idSetupBtn:
        manager::InstallFilterModule(*this);
        break;
      case idUninstallBtn:
        manager::UninstallFilterModule(*this);
        break;
      case idBtnIISreset: {
        Win32ShellLauncher launcher;
        manager::RestartIis(launcher);
        break;
      }
      case idBtnurl:
        btnurlClick();
        break;
      case idBtndelurl:
        btndelurlClick();
        break;
      case idBtnfilemon:
        btnfilemonClick();
        break;
      case idBtnmonlog:
      case idBtnOpenmonlog:
        OpenLog(paths_.MonitorLogPath);
        break;
      case idBtnOpenwaflog:
        OpenLog(paths_.FilterLogPath);
        break;
      case idBtnOpenmurrowlog:
        OpenLog(paths_.ScannerLogPath);
        break;
      case idBtnOpenmodlog:
        OpenLog(paths_.TamperLogPath);
        break;
      case idBtnchkdir:
        btnchkdirClick();
        break;
      case idBtnchklog:
        btnchklogClick();
        break;
      case idBtnchkextract:
        btnchkextractClick();
        break;
      case idBtnchkmod:
        RunTamperCheck(controls_.Text(idEdtchklog), paths_.TamperLogPath, *this);
        break;
      case idBtnchktwolog:
        RunSnapshotComparison(paths_.TamperLogPath, *this);
        break;
      case idChkRun:
      case idChkAMon:
        chkRunClick();
        break;
      case idChkSkin:
        chkSkinClick();
        break;
      default:
        break;
    }
  });
}

void TForm1::btnSettingClick() {
  SaveFilterSettings();
  SaveUrlList();
}

void TForm1::btnOKClick() {
  btnSettingClick();
  SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TForm1::btnurlClick() {
  std::vector<std::string> entries = controls_.ListRows(idLsturl);
  AddUrlEntry(&entries, controls_.Text(idEdturl));
  controls_.SetListRows(idLsturl, entries);
}

void TForm1::btndelurlClick() {
  std::vector<std::string> entries = controls_.ListRows(idLsturl);
  const int selected = static_cast<int>(SendMessageA(controls_.Ctl(idLsturl), LB_GETCURSEL, 0, 0));
  if (DeleteUrlEntry(&entries, selected, *this)) controls_.SetListRows(idLsturl, entries);
}

void TForm1::btnfilemonClick() {
  if (!monitor_) {
    monitor_ = std::make_unique<SiteMonitor>(*this, *this, *this, paths_.MonitorLogPath);
    // Murrow's rules and quarantine: back doors are caught as they are written.
    monitor_->SetBackdoorCheck(ManagerRulesDir(paths_), paths_.QuarantineDir);
  }
  monitor_->StartOrStop();
}

void TForm1::btnchkextractClick() {
  if (controls_.Text(idBtnchkextract) != kExtractStart) {
    extract_stop_ = true;  // the running walk sees it at its next entry
    return;
  }
  SaveManagerSettings();
  SnapshotJob job;
  job.dir = controls_.Text(idEdtchkdir);
  job.snapshot_path = controls_.Text(idEdtchklog);
  job.mask_text = controls_.Text(idCbbchkfileext);
  job.size_limit_mib = ChkSizeLimitMiB(controls_.ComboPosition(idCbbchkfilesize));
  extract_stop_ = false;
  controls_.SetText(idBtnchkextract, kExtractStop);
  RunSnapshotExtraction(job, *this);
  controls_.SetText(idBtnchkextract, kExtractStart);
}

void TForm1::btnchkdirClick() {
  std::string folder;
  if (ChooseFolder(kFolderTitle, &folder)) controls_.SetText(idEdtchkdir, folder);
}

void TForm1::btnchklogClick() {
  FileDialog dialog;
  dialog.title = kSnapshotFileTitle;
  dialog.default_ext = "txt";
  dialog.filter = kSnapshotFilter;
  dialog.save = true;
  std::string path;
  if (ChooseFile(dialog, &path)) controls_.SetText(idEdtchklog, path);
}

void TForm1::chkRunClick() {
  RegistryRunKey key;
  // Quoted when the path holds a space, so that Windows starts this program
  // and not the first word of its path.
  SetAutoRun(key, controls_.Checked(idChkRun), QuotedCommandPath(ExecutablePath()));
  SaveManagerSettings();
}

void TForm1::chkSkinClick() {
  skin_.SetActive(controls_.Checked(idChkSkin));
  SaveManagerSettings();
}

// The navigation tree -------------------------------------------------------------

void TForm1::WAFListClick() {
  HWND tree = controls_.tree();
  HTREEITEM selected = TreeView_GetSelection(tree);
  if (!selected) return;
  TVITEMA item{};
  item.mask = TVIF_HANDLE | TVIF_SELECTEDIMAGE;
  item.hItem = selected;
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  const TreeAction action = ActionForIcon(item.iSelectedImage);
  if (action.kind == TreeAction::kShowPage) {
    controls_.ShowPage(action.page);
  } else if (action.kind == TreeAction::kStartScanner) {
    StartProgram(ScannerPath(paths_.ManagerDir));
  }
}

// The notification icon and its menu -----------------------------------------------

void TForm1::WMTrayIcon(LPARAM mouse_message) {
  switch (static_cast<UINT>(mouse_message)) {
    case WM_LBUTTONDOWN:
      ShowHidePopClick();
      break;
    case WM_RBUTTONDOWN:
      tray_.ShowMenu(hwnd_);
      break;
    default:
      break;
  }
}

void TForm1::ShowHidePopClick() {
  try {
    if (IsWindowVisible(hwnd_)) {
      HideToTray();
      return;
    }
    ShowForm();
    SetForegroundWindow(hwnd_);
  } catch (...) {
    // Showing and hiding never reports anything.
  }
}

void TForm1::HideToTray() { ShowWindow(hwnd_, SW_HIDE); }

void TForm1::ExitMenuClick() {
  close_query_attached_ = false;
  if (hwnd_) SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

}  // namespace zelk::manager::shell
