#include "manager/shell/main_window_win32.h"

#include <cstring>
#include <stdexcept>

#include "manager/iis/access_grant.h"
#include "manager/shell/icon_art.h"
#include "manager/shell/shell_services_win32.h"
#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"
#include "platform/files.h"

namespace zelk::manager::shell {
namespace {

constexpr char kSongTi[] = "宋体";
constexpr char kSnapshotFileTitle[] = "请选择快照文件的路径";
constexpr char kSnapshotFilter[] = "Text File(*.txt)|*.txt|All File(*.*)|*.*";
constexpr char kFolderTitle[] = "请选择目录";
constexpr char kUnknownError[] = "未知错误";

// An icon from a drawn picture: a 32-bit top-down colour bitmap with its
// alpha channel, and an empty mask (the alpha channel decides).
HICON ToIcon(const Picture& picture) {
  BITMAPV5HEADER h{};
  h.bV5Size = sizeof h;
  h.bV5Width = picture.size;
  h.bV5Height = -picture.size;
  h.bV5Planes = 1;
  h.bV5BitCount = 32;
  h.bV5Compression = BI_BITFIELDS;
  h.bV5RedMask = 0x00FF0000;
  h.bV5GreenMask = 0x0000FF00;
  h.bV5BlueMask = 0x000000FF;
  h.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&h), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (!colour) return nullptr;
  std::memcpy(bits, picture.pixels.data(), picture.pixels.size() * sizeof(std::uint32_t));
  HBITMAP mask = CreateBitmap(picture.size, picture.size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}

HFONT MakeFont(const char* face, int points, BYTE charset) {
  HDC screen = GetDC(nullptr);
  const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

std::string WindowTextOf(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(hwnd, &s[0], n + 1);
  s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return s;
}

struct SwitchBinding {
  int id;
  bool filter::FilterSettings::*member;
};
constexpr SwitchBinding kSwitchBindings[] = {
    {idChkPostShell, &filter::FilterSettings::DenyShell},
    {idChkMETHOD, &filter::FilterSettings::DenyPutMethod},
    {idChkIISVer, &filter::FilterSettings::DenyIISVER},
    {idChkAnonymousLogin, &filter::FilterSettings::AnonymousLogin},
    {idChkGET, &filter::FilterSettings::SqlGet},
    {idChkCookie, &filter::FilterSettings::SqlCookie},
    {idChkPost, &filter::FilterSettings::SqlPost},
    {idChkRANGE, &filter::FilterSettings::DenyMultiDown},
    {idChk403err, &filter::FilterSettings::Deny403Err},
    {idChk500err, &filter::FilterSettings::Deny500Err},
    {idChkFileExtDown, &filter::FilterSettings::DenyFileExtDown},
    {idChkWirteLog, &filter::FilterSettings::WirteLog},
    {idChkLearn, &filter::FilterSettings::LearnMode},
};

struct TextBinding {
  int id;
  std::string filter::FilterSettings::*member;
};
constexpr TextBinding kTextBindings[] = {
    {idEdtGet, &filter::FilterSettings::SqlGetValue},
    {idEdtCookie, &filter::FilterSettings::SqlCookieValue},
    {idEdtPost, &filter::FilterSettings::SqlPostValue},
    {idEdtFileExtDown, &filter::FilterSettings::DenyFileExtDownValue},
};

}  // namespace

TForm1::TForm1(HINSTANCE instance, std::unique_ptr<Metabase> metabase)
    : instance_(instance), metabase_(std::move(metabase)) {}

TForm1::~TForm1() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (tray_menu_) DestroyMenu(tray_menu_);
  if (tree_images_) ImageList_Destroy(tree_images_);
  for (HICON i : icons_) DestroyIcon(i);
  if (window_font_) DeleteObject(window_font_);
  if (song_font_) DeleteObject(song_font_);
}

// Window creation ------------------------------------------------------------

bool TForm1::Create() {
  app_icon_ = ToIcon(Draw(Art::kApp, 32));
  app_icon_small_ = ToIcon(Draw(Art::kApp, 16));
  icons_.push_back(app_icon_);
  icons_.push_back(app_icon_small_);

  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance_;
  wc.hIcon = app_icon_;
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

  window_font_ = MakeFont("MS Sans Serif", 8, DEFAULT_CHARSET);
  song_font_ = MakeFont(kSongTi, 9, GB2312_CHARSET);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(window_font_), FALSE);
  CreateControls();
  skin_.Attach(hwnd_);  // the skin starts switched on
  Layout();
  Guard([this] { FormCreate(); });
  return true;
}

void TForm1::CreateControls() {
  CreateTree();
  tabs_ = CreateWindowExA(
      0, WC_TABCONTROLA, "",
      WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_MULTILINE, 0, 0,
      10, 10, hwnd_, reinterpret_cast<HMENU>(idPageControl1), instance_, nullptr);
  SendMessageA(tabs_, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
  for (int i = 0; i < TabCount(); ++i) {
    const PageInfo& page = kPages[PageIndex(PageOfTab(i))];
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(page.caption);
    SendMessageA(tabs_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  CreatePages();
  CreateBar();

  tray_menu_ = CreatePopupMenu();
  AppendMenuA(tray_menu_, MF_STRING, idShowHidePop, kMenuShowHide);
  AppendMenuA(tray_menu_, MF_STRING, idExitMenu, kMenuExit);
}

void TForm1::CreateTree() {
  tree_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                              TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                          0, 0, kTreeWidth, kClientHeight - kBarHeight, hwnd_,
                          reinterpret_cast<HMENU>(idWAFList), instance_, nullptr);
  SendMessageA(tree_, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
  tree_images_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 11, 0);
  for (int i = 0; i <= 10; ++i) {
    HICON icon = ToIcon(Draw(TreeArt(i), 16));
    icons_.push_back(icon);
    ImageList_AddIcon(tree_images_, icon);
  }
  TreeView_SetImageList(tree_, tree_images_, TVSIL_NORMAL);
  TreeView_SetIndent(tree_, kTreeIndent);
  TreeView_SetBkColor(tree_, RGB(255, 255, 255));
  TreeView_SetTextColor(tree_, RGB(0, 0, 0));
  HTREEITEM parent = TVI_ROOT;
  for (const TreeItem& t : kTreeItems) {
    TVINSERTSTRUCTA ins{};
    ins.hParent = t.level == 0 ? TVI_ROOT : parent;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    ins.item.pszText = const_cast<char*>(t.text);
    ins.item.iImage = t.icon;
    ins.item.iSelectedImage = t.icon;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(
        SendMessageA(tree_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
    if (t.level == 0) parent = item;
    tree_items_.push_back(item);
  }
}

void TForm1::CreatePages() {
  for (const PageInfo& info : kPages) {
    HWND page = CreateWindowExA(WS_EX_CONTROLPARENT, skin::kPageClass, info.caption,
                                WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 10, 10, hwnd_, nullptr, instance_,
                                nullptr);
    pages_[PageIndex(info.id)] = page;
    SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The emblem left of the slogan, the slogan at (136, 24).
    const int e = info.emblem_size;
    HICON emblem = ToIcon(Draw(TreeArt(kTreeItems[0].icon), e));
    for (const TreeItem& t : kTreeItems) {
      if (ActionForIcon(t.icon).kind == TreeAction::kShowPage &&
          ActionForIcon(t.icon).page == info.id) {
        DestroyIcon(emblem);
        emblem = ToIcon(Draw(TreeArt(t.icon), e));
        break;
      }
    }
    icons_.push_back(emblem);
    HWND pic =
        CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_ICON | SS_REALSIZEIMAGE,
                        128 - e - 4, e == 48 ? 6 : 14, e, e, page, nullptr, instance_, nullptr);
    SendMessageA(pic, STM_SETICON, reinterpret_cast<WPARAM>(emblem), 0);
    HWND slogan =
        CreateWindowExA(0, "Static", info.slogan, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                        136, 24, 300, 14, page, nullptr, instance_, nullptr);
    SendMessageA(slogan, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
  }

  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kControls[i];
    HWND page = pages_[PageIndex(c.page)];
    const char* cls = "Static";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex = 0;
    switch (c.kind) {
      case ControlKind::kLabel:
      case ControlKind::kStateLabel:
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case ControlKind::kCheck:
        cls = "Button";
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case ControlKind::kButton:
        cls = "Button";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case ControlKind::kEdit:
        cls = "Edit";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kList:
        cls = "ListBox";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP;
        ex = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kComboEdit:
        cls = "ComboBox";
        style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP;
        break;
      case ControlKind::kComboList:
        cls = "ComboBox";
        style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        break;
      case ControlKind::kMemo:
        cls = "Edit";
        style |= ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_BORDER | WS_TABSTOP;  // flat border
        break;
      case ControlKind::kGroup:
        cls = "Button";
        style |= BS_GROUPBOX;
        break;
    }
    HWND ctl =
        CreateWindowExA(ex, cls, c.caption, style, c.x, c.y, c.w, c.h, page,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance_, nullptr);
    SendMessageA(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
    if (c.id != kIdNone) controls_[c.id] = ctl;
  }

  for (const char* item : kMonTypeItems)
    SendMessageA(Ctl(idCbbmonfileext), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (const char* item : kChkTypeItems)
    SendMessageA(Ctl(idCbbchkfileext), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  for (const char* item : kChkSizeItems)
    SendMessageA(Ctl(idCbbchkfilesize), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  SendMessageA(Ctl(idCbbmonfileext), CB_SETCURSEL, 0, 0);
  SendMessageA(Ctl(idCbbchkfileext), CB_SETCURSEL, 0, 0);
  SendMessageA(Ctl(idCbbchkfilesize), CB_SETCURSEL, 0, 0);
  SetText(idMmoHelp, kHelpText);

  // The designed defaults (what a first start shows once loading applies
  // the missing-key values on top).
  for (const SwitchBinding& b : kSwitchBindings)
    SetChecked(b.id, filter::FilterSettings{}.*b.member);
  SetChecked(idChkSkin, true);
  ShowPage(PageId::ts0);
}

void TForm1::CreateBar() {
  bar_ = CreateWindowExA(WS_EX_CONTROLPARENT, skin::kBarClass, "",
                         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, kClientHeight - kBarHeight,
                         kClientWidth, kBarHeight, hwnd_, nullptr, instance_, nullptr);
  struct BarButton {
    int id;
    const char* caption;
    int x;
    Art glyph;
  };
  for (const BarButton& b : {BarButton{idBtnSetting, kApplyCaption, 360, Art::kApplyGlyph},
                             BarButton{idBtnOK, kOkCaption, 464, Art::kOkGlyph}}) {
    HWND button = CreateWindowExA(
        0, "Button", b.caption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, b.x, 8, 90, 25,
        bar_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)), instance_, nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
    HICON glyph = ToIcon(Draw(b.glyph, 16));
    icons_.push_back(glyph);
    SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
    controls_[b.id] = button;
  }
}

void TForm1::Layout() {
  RECT client;
  GetClientRect(hwnd_, &client);
  const int w = client.right, h = client.bottom;
  const int body = h - kBarHeight > 0 ? h - kBarHeight : 0;
  MoveWindow(tree_, 0, 0, kTreeWidth, body, TRUE);
  MoveWindow(tabs_, kTreeWidth, 0, w - kTreeWidth, body, TRUE);
  MoveWindow(bar_, 0, body, w, kBarHeight, TRUE);
  RECT display{0, 0, w - kTreeWidth, body};
  SendMessageA(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (HWND page : pages_) {
    MoveWindow(page, kTreeWidth + display.left, display.top, display.right - display.left,
               display.bottom - display.top, TRUE);
  }
}

HWND TForm1::Ctl(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
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
      if (tabs_) Layout();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_NOTIFY: {
      const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
      if (hdr->hwndFrom == tree_ && hdr->code == static_cast<UINT>(NM_CLICK)) {
        // The tree moves its selection after telling of the click; act once
        // it has.
        PostMessageA(hwnd_, WM_TREECLICK, 0, 0);
      } else if (hdr->hwndFrom == tabs_ && hdr->code == static_cast<UINT>(TCN_SELCHANGE)) {
        const int tab = static_cast<int>(SendMessageA(tabs_, TCM_GETCURSEL, 0, 0));
        if (tab >= 0) ShowPage(PageOfTab(tab));
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

// Start, show, close and exit --------------------------------------------------

void TForm1::FormCreate() {
  tray_icon_data_ = NOTIFYICONDATAA{};
  // The first form of the record: Windows 2000 and later all accept it.
  tray_icon_data_.cbSize = NOTIFYICONDATAA_V1_SIZE;
  tray_icon_data_.hWnd = hwnd_;
  tray_icon_data_.uID = 0;
  tray_icon_data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  tray_icon_data_.uCallbackMessage = WM_TRAYICON;
  tray_icon_data_.hIcon = app_icon_small_;
  lstrcpynA(tray_icon_data_.szTip, kAppTitle, 64);
  Shell_NotifyIconA(NIM_ADD, &tray_icon_data_);
}

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
  if (manager::LoadUrlList(paths_.UrlListPath, &entries)) SetUrlEntries(entries);
  TreeView_SelectItem(tree_, tree_items_[1]);
  TreeView_SelectItem(tree_, tree_items_[0]);
  // Only the first show presses the monitor button: a restore from the
  // notification area must not stop a running monitor.
  if (!first_show_done_) {
    first_show_done_ = true;
    if (Checked(idChkAMon)) btnfilemonClick();
  }
  if (!Checked(idChkSkin)) skin_.SetActive(false);
}

void TForm1::HideToTray() { ShowWindow(hwnd_, SW_HIDE); }

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

void TForm1::WMTrayIcon(LPARAM mouse_message) {
  switch (static_cast<UINT>(mouse_message)) {
    case WM_LBUTTONDOWN:
      ShowHidePopClick();
      break;
    case WM_RBUTTONDOWN: {
      SetForegroundWindow(hwnd_);
      POINT pt{};
      GetCursorPos(&pt);
      TrackPopupMenu(tray_menu_, TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, hwnd_, nullptr);
      // Lets the menu close when the user clicks elsewhere.
      PostMessageA(hwnd_, WM_NULL, 0, 0);
      break;
    }
    default:
      break;
  }
}

void TForm1::ExitMenuClick() {
  close_query_attached_ = false;
  if (hwnd_) SendMessageA(hwnd_, WM_CLOSE, 0, 0);
}

void TForm1::FormDestroy() {
  // Save what the pages hold, then take the icon away whatever happened:
  // a failed save must not leave a dead icon behind.
  Guard([this] {
    SaveManagerSettings();
    SaveUrlList();
  });
  Shell_NotifyIconA(NIM_DELETE, &tray_icon_data_);
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

void TForm1::SetStatus(const std::string& text) { SetText(idLblPath, text); }

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

void TForm1::SetStateLabel(const std::string& text) { SetText(idLblState, text); }

void TForm1::SaveFilterSettings() {
  manager::SaveFilterSettings(paths_.FilterIniPath, FilterSettingsFromPages());
}

void TForm1::SaveUrlList() { manager::SaveUrlList(paths_.UrlListPath, UrlEntries()); }

void TForm1::SaveManagerSettings() {
  manager::SaveManagerSettings(paths_.ConfigIniPath, ManagerSettingsFromPages());
}

bool TForm1::GrantFileAccess(const std::string& account, const std::string& path,
                             std::uint32_t mask) {
  return manager::GrantFileAccess(account, path, mask);
}

void TForm1::SetShortcuts(bool create) {
  Win32ShortcutPlatform platform;
  manager::SetShortcuts(platform, create, ExecutablePath(), paths_.ManagerDir);
}

// Navigation ---------------------------------------------------------------------

void TForm1::ShowPage(PageId page) {
  for (const PageInfo& info : kPages) {
    ShowWindow(pages_[PageIndex(info.id)], info.id == page ? SW_SHOW : SW_HIDE);
  }
  SendMessageA(tabs_, TCM_SETCURSEL, static_cast<WPARAM>(TabIndexOf(page)), 0);
  InvalidateRect(tabs_, nullptr, TRUE);
  current_page_ = page;
}

void TForm1::WAFListClick() {
  HTREEITEM selected = TreeView_GetSelection(tree_);
  if (!selected) return;
  TVITEMA item{};
  item.mask = TVIF_HANDLE | TVIF_SELECTEDIMAGE;
  item.hItem = selected;
  SendMessageA(tree_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  const TreeAction action = ActionForIcon(item.iSelectedImage);
  if (action.kind == TreeAction::kShowPage) {
    ShowPage(action.page);
  } else if (action.kind == TreeAction::kStartScanner) {
    StartProgram(ScannerPath(paths_.ManagerDir));
  }
}

// Commands -----------------------------------------------------------------------

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
        manager::SetupBtnClick(*this);
        break;
      case idUninstallBtn:
        manager::UninstallBtnClick(*this);
        break;
      case idBtnIISreset: {
        Win32ShellLauncher launcher;
        manager::btnIISresetClick(launcher);
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
        RunTamperCheck(Text(idEdtchklog), paths_.TamperLogPath, *this);
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
  std::vector<std::string> entries = UrlEntries();
  AddUrlEntry(&entries, Text(idEdturl));
  SetUrlEntries(entries);
}

void TForm1::btndelurlClick() {
  std::vector<std::string> entries = UrlEntries();
  const int selected = static_cast<int>(SendMessageA(Ctl(idLsturl), LB_GETCURSEL, 0, 0));
  if (DeleteUrlEntry(&entries, selected, *this)) SetUrlEntries(entries);
}

void TForm1::btnfilemonClick() {
  if (!monitor_)
    monitor_ = std::make_unique<SiteMonitor>(*this, *this, *this, paths_.MonitorLogPath);
  monitor_->btnfilemonClick();
}

void TForm1::InsertMonitorLine(const std::string& line) {
  SendMessageA(Ctl(idLstfilemon), LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void TForm1::btnchkextractClick() {
  if (Text(idBtnchkextract) != kExtractStart) {
    extract_stop_ = true;  // the running walk sees it at its next entry
    return;
  }
  SaveManagerSettings();
  SnapshotJob job;
  job.dir = Text(idEdtchkdir);
  job.snapshot_path = Text(idEdtchklog);
  job.mask_text = Text(idCbbchkfileext);
  job.size_limit_mib = ChkSizeLimitMiB(ComboPosition(idCbbchkfilesize));
  extract_stop_ = false;
  SetText(idBtnchkextract, kExtractStop);
  RunSnapshotExtraction(job, *this);
  SetText(idBtnchkextract, kExtractStart);
}

void TForm1::btnchkdirClick() {
  std::string folder;
  if (ChooseFolder(kFolderTitle, &folder)) SetText(idEdtchkdir, folder);
}

void TForm1::btnchklogClick() {
  FileDialog dialog;
  dialog.title = kSnapshotFileTitle;
  dialog.default_ext = "txt";
  dialog.filter = kSnapshotFilter;
  dialog.save = true;
  std::string path;
  if (ChooseFile(dialog, &path)) SetText(idEdtchklog, path);
}

void TForm1::chkRunClick() {
  RegistryRunKey key;
  // Quoted when the path holds a space, so that Windows starts this program
  // and not the first word of its path.
  SetAutoRun(key, Checked(idChkRun), QuotedCommandPath(ExecutablePath()));
  SaveManagerSettings();
}

void TForm1::chkSkinClick() {
  skin_.SetActive(Checked(idChkSkin));
  SaveManagerSettings();
}

// Pages <-> settings ------------------------------------------------------------------

void TForm1::LoadFormSettings() {
  // Controls are set by messages that raise no click, so loading runs none
  // of their actions.
  const filter::FilterSettings f = LoadFilterSettings(paths_.FilterIniPath);
  for (const SwitchBinding& b : kSwitchBindings) SetChecked(b.id, f.*b.member);
  for (const TextBinding& b : kTextBindings) SetText(b.id, f.*b.member);
  const ManagerSettings m = LoadManagerSettings(paths_.ConfigIniPath);
  SetChecked(idChkdelnew, m.DelNewFile);
  SetComboPosition(idCbbmonfileext, m.MonType);
  SetText(idEdtmondir, m.MonDir);
  SetText(idEdtchkdir, m.ChkDir);
  SetText(idEdtchklog, m.ChkLog);
  SetComboPosition(idCbbchkfileext, m.ChkType);
  SetComboPosition(idCbbchkfilesize, m.ChkSizeNum);
  SetChecked(idChkRun, m.IsRun);
  SetChecked(idChkAMon, m.IsMon);
  SetChecked(idChkSkin, m.Skin);
}

filter::FilterSettings TForm1::FilterSettingsFromPages() const {
  filter::FilterSettings f;
  for (const SwitchBinding& b : kSwitchBindings) f.*b.member = Checked(b.id);
  for (const TextBinding& b : kTextBindings) f.*b.member = Text(b.id);
  return f;
}

ManagerSettings TForm1::ManagerSettingsFromPages() const {
  ManagerSettings m;
  m.DelNewFile = Checked(idChkdelnew);
  m.MonType = ComboPosition(idCbbmonfileext);
  m.MonDir = Text(idEdtmondir);
  m.ChkDir = Text(idEdtchkdir);
  m.ChkLog = Text(idEdtchklog);
  m.ChkType = ComboPosition(idCbbchkfileext);
  m.ChkSizeNum = ComboPosition(idCbbchkfilesize);
  m.IsRun = Checked(idChkRun);
  m.IsMon = Checked(idChkAMon);
  m.Skin = Checked(idChkSkin);
  return m;
}

std::vector<std::string> TForm1::UrlEntries() const {
  HWND list = Ctl(idLsturl);
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  std::vector<std::string> entries;
  for (int i = 0; i < n; ++i) {
    const LRESULT len = SendMessageA(list, LB_GETTEXTLEN, i, 0);
    std::string s(static_cast<std::size_t>(len > 0 ? len : 0) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&s[0]));
    s.resize(std::strlen(s.c_str()));
    entries.push_back(s);
  }
  return entries;
}

void TForm1::SetUrlEntries(const std::vector<std::string>& entries) {
  HWND list = Ctl(idLsturl);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& e : entries)
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

bool TForm1::Checked(int id) const {
  return SendMessageA(Ctl(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::SetChecked(int id, bool on) {
  SendMessageA(Ctl(id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string TForm1::Text(int id) const { return WindowTextOf(Ctl(id)); }

void TForm1::SetText(int id, const std::string& text) { SetWindowTextA(Ctl(id), text.c_str()); }

int TForm1::ComboPosition(int id) const {
  HWND combo = Ctl(id);
  // The position of the item the box shows; typed text that is no item
  // stores -1.
  const std::string text = WindowTextOf(combo);
  const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    const LRESULT len = SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
    std::string item(static_cast<std::size_t>(len > 0 ? len : 0) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
    item.resize(std::strlen(item.c_str()));
    if (item == text) return i;
  }
  return -1;
}

void TForm1::SetComboPosition(int id, int position) {
  SendMessageA(Ctl(id), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

}  // namespace zelk::manager::shell
