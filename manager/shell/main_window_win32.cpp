#include "manager/shell/main_window_win32.h"

#include <stdexcept>

#include "manager/iis/access_grant.h"
#include "manager/iis/settings_store.h"
#include "manager/shell/settings_bindings.h"
#include "manager/shell/shell_services_win32.h"

namespace zelk::manager::shell {
namespace {

constexpr char kUnknownError[] = "未知错误";

}  // namespace

TForm1::TForm1(HINSTANCE instance, std::unique_ptr<Metabase> metabase)
    : instance_(instance), metabase_(std::move(metabase)) {}

// The window goes first; the controls' fonts and icons, the menu and the
// application icons are released with the members after it.
TForm1::~TForm1() {
  if (hwnd_) DestroyWindow(hwnd_);
}

// Window creation ------------------------------------------------------------

bool TForm1::Create() {
  HICON app_icon = app_icons_.Add(Art::kApp, 32);
  app_icon_small_ = app_icons_.Add(Art::kApp, 16);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance_;
  wc.hIcon = app_icon;
  wc.hIconSm = app_icon_small_;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClass;
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  WNDCLASSEXA pc = wc;
  pc.lpfnWndProc = PageProc;
  pc.hIcon = nullptr;
  pc.hIconSm = nullptr;
  pc.lpszClassName = skin::kPageClass;
  if (!RegisterClassExA(&pc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  pc.lpszClassName = skin::kBarClass;
  if (!RegisterClassExA(&pc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // Client area 596 x 344 (612 x 382 outside with the classic frame);
  // resizable border, system menu and minimise button only.
  const DWORD style =
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - w) / 2;
  const int y = work.top + (work.bottom - work.top - h) / 2;
  hwnd_ = CreateWindowExA(0, kMainClass, kWindowCaption, style, x, y, w, h, nullptr, nullptr,
                          instance_, this);
  if (!hwnd_) return false;

  controls_.Build(hwnd_, instance_);
  tray_.CreateMenu();
  skin_.Attach(hwnd_);  // the skin starts switched on
  controls_.Layout(hwnd_);
  Guard([this] { FormCreate(); });
  return true;
}

// Window procedures -----------------------------------------------------------

LRESULT CALLBACK TForm1::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  TForm1* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  try {
    return self->HandleMessage(msg, wp, lp);
  } catch (const std::exception& e) {
    self->ShowError(e.what());
  } catch (...) {
    self->ShowError(kUnknownError);
  }
  return 0;
}

// Pages and the bottom bar pass their controls' notifications to the form.
LRESULT CALLBACK TForm1::PageProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_DRAWITEM:
      return SendMessageA(GetParent(hwnd), msg, wp, lp);
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (controls_.built()) controls_.Layout(hwnd_);
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->hwndFrom == controls_.tree() && hdr->code == static_cast<UINT>(NM_CLICK)) {
        // The tree moves its selection after telling of the click; act once
        // it has.
        PostMessageA(hwnd_, WM_TREECLICK, 0, 0);
      } else if (hdr->hwndFrom == controls_.tabs() &&
                 hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
        const int tab = static_cast<int>(SendMessageA(controls_.tabs(), TCM_GETCURSEL, 0, 0));
        if (tab >= 0) controls_.ShowPage(PageOfTab(tab));
      }
      return 0;
    }
    case WM_TREECLICK:
      Guard([this] { WAFListClick(); });
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Field labels and slogans in their colour; read-only text boxes white.
      HDC dc = reinterpret_cast<HDC>(wp);
      char cls[16] = {};
      GetClassNameA(reinterpret_cast<HWND>(lp), cls, sizeof cls);
      if (lstrcmpiA(cls, "Edit") == 0) {
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      }
      if (lstrcmpiA(cls, "Static") == 0) SetTextColor(dc, skin::SkinManager::kLabelColour);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_TRAYICON:
      WMTrayIcon(lp);
      return 0;
    case WM_RUNTASKS: {
      std::deque<std::function<void()>> batch;
      {
        std::lock_guard<std::mutex> lock(tasks_mutex_);
        batch.swap(tasks_);
      }
      for (auto& task : batch) Guard(task);
      return 0;
    }
    case WM_CLOSE:
      // FormCloseQuery: while attached, a close request only hides.
      if (close_query_attached_) {
        HideToTray();
      } else {
        DestroyWindow(hwnd_);
      }
      return 0;
    case WM_QUERYENDSESSION:
      ExitMenuClick();
      return 1;
    case WM_DESTROY:
      FormDestroy();
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY: {
      HWND gone = hwnd_;
      hwnd_ = nullptr;
      return DefWindowProcA(gone, msg, wp, lp);
    }
    default:
      return DefWindowProcA(hwnd_, msg, wp, lp);
  }
}

void TForm1::Guard(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError(kUnknownError);
  }
}

// Start, show and exit ----------------------------------------------------------

void TForm1::FormCreate() { tray_.Add(hwnd_, app_icon_small_); }

void TForm1::ShowForm() {
  Guard([this] { FormShow(); });
  if (IsIconic(hwnd_)) {
    ShowWindow(hwnd_, SW_RESTORE);
  } else {
    ShowWindow(hwnd_, SW_SHOW);
  }
  UpdateWindow(hwnd_);
}

void TForm1::FormShow() {
  paths_ = ExecutableManagerPaths();
  CreateManagerFolders(paths_);
  if (IsIisFilterInstalled(*metabase_, kFilterName)) SetStateLabel(kStateInstalled);
  LoadFormSettings();
  std::vector<std::string> entries;
  if (manager::LoadUrlList(paths_.UrlListPath, &entries)) controls_.SetListRows(idLsturl, entries);
  TreeView_SelectItem(controls_.tree(), controls_.tree_item(1));
  TreeView_SelectItem(controls_.tree(), controls_.tree_item(0));
  // Only the first show presses the monitor button: a restore from the
  // notification area must not stop a running monitor.
  if (!first_show_done_) {
    first_show_done_ = true;
    if (controls_.Checked(idChkAMon)) btnfilemonClick();
  }
  if (!controls_.Checked(idChkSkin)) skin_.SetActive(false);
}

// Controls are set by messages that raise no click, so loading runs none of
// their actions.
void TForm1::LoadFormSettings() {
  ShowOnPages(LoadFilterSettings(paths_.FilterIniPath), controls_);
  ShowOnPages(LoadManagerSettings(paths_.ConfigIniPath), controls_);
}

void TForm1::FormDestroy() {
  // Save what the pages hold, then take the icon away whatever happened:
  // a failed save must not leave a dead icon behind.
  Guard([this] {
    SaveManagerSettings();
    SaveUrlList();
  });
  tray_.Remove();
  // The watcher stops here, while the window that receives its events still
  // exists; nothing it posted afterwards would be run.
  monitor_.reset();
}

// Message boxes and the core's window interface ---------------------------------

void TForm1::ShowMessage(const std::string& caption, const std::string& text, int style) {
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), static_cast<UINT>(style) | MB_OK);
}

void TForm1::ShowError(const std::string& text) {
  MessageBoxA(hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr, text.c_str(), kAppTitle,
              MB_OK | MB_ICONSTOP);
}

bool TForm1::AskYesNo(const std::string& caption, const std::string& text) {
  return MessageBoxA(hwnd_ && IsWindowVisible(hwnd_) ? hwnd_ : nullptr, text.c_str(),
                     caption.c_str(), MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

void TForm1::SetStatus(const std::string& text) { controls_.SetText(idLblPath, text); }

bool TForm1::Progress(long, const std::string&) {
  // Keep the window alive during a long walk; a click on the stop button
  // lands here.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      extract_stop_ = true;
      break;
    }
    if (!hwnd_ || !IsDialogMessageA(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return !extract_stop_;
}

bool TForm1::ChooseFolder(const std::string& title, std::string* folder) {
  return PickFolder(hwnd_, title.empty() ? kFolderTitle : title, folder);
}

bool TForm1::ChooseFile(const FileDialog& dialog, std::string* path) {
  return PickFile(hwnd_, dialog, path);
}

void TForm1::OpenFile(const std::string& path) { OpenLog(path); }

void TForm1::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    tasks_.push_back(std::move(task));
  }
  PostMessageA(hwnd_, WM_RUNTASKS, 0, 0);
}

void TForm1::SetStateLabel(const std::string& text) { controls_.SetText(idLblState, text); }

void TForm1::SaveFilterSettings() {
  manager::SaveFilterSettings(paths_.FilterIniPath, FilterSettingsOnPages(controls_));
}

void TForm1::SaveUrlList() {
  manager::SaveUrlList(paths_.UrlListPath, controls_.ListRows(idLsturl));
}

void TForm1::SaveManagerSettings() {
  manager::SaveManagerSettings(paths_.ConfigIniPath, ManagerSettingsOnPages(controls_));
}

bool TForm1::GrantFileAccess(const std::string& account, const std::string& path,
                             std::uint32_t mask) {
  return manager::GrantFileAccess(account, path, mask);
}

void TForm1::SetShortcuts(bool create) {
  Win32ShortcutPlatform platform;
  manager::SetShortcuts(platform, create, ExecutablePath(), paths_.ManagerDir);
}

void TForm1::InsertMonitorLine(const std::string& line) {
  SendMessageA(controls_.Ctl(idLstfilemon), LB_INSERTSTRING, 0,
               reinterpret_cast<LPARAM>(line.c_str()));
}

}  // namespace zelk::manager::shell
