#include "scanner/murrow/murrow_window_win32.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "manager/iis/settings_store.h"
#include "manager/shell/shell_services_win32.h"
#include "platform/files.h"

namespace zelk::scanner::murrow {
namespace {

constexpr int kBarHeight = 40;
constexpr char kSlogan[] = "Zelk WAF Web后门查杀: 找出网站目录中的ASP、ASPX、PHP、JSP后门";
constexpr char kSubSlogan[] =
    "内置规则在本程序旁的 rules 目录; 可再指定一个自己的YARA规则目录, 发现的文件可移入隔离区";
constexpr char kReady[] = "就绪: 选择扫描目录后点\"开始扫描\"";
constexpr char kStartCaption[] = "开始扫描";
constexpr char kStopCaption[] = "停止扫描";

std::string NowStamp() { return FormatStamp(platform::NowLocal()); }

// The folder part of a GBK path ('\' as a trail byte belongs to its character).
std::string FolderOf(const std::string& path) {
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/') {
      cut = i;
    }
  }
  return cut == std::string::npos ? path : path.substr(0, cut + 1);
}

// Explorer on the file's folder with the file selected; its folder alone
// when the file is gone.
void ShowInExplorer(HWND owner, const std::string& path) {
  platform::DirEntry e;
  const std::string args = platform::FindFile(path, &e) && !e.is_directory
                               ? "/select,\"" + path + "\""
                               : "\"" + FolderOf(path) + "\"";
  ShellExecuteA(owner, "open", "explorer.exe", args.c_str(), nullptr, SW_SHOWNORMAL);
}

int ScanThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 2 : static_cast<int>(std::min(n, 4u));
}

}  // namespace

MurrowForm::MurrowForm(HINSTANCE instance, MurrowPaths paths)
    : instance_(instance), paths_(std::move(paths)) {}

// The scan's thread is stopped and joined before the window goes; fonts and
// icons go with the members after the window.
MurrowForm::~MurrowForm() {
  job_.reset();
  if (hwnd_) DestroyWindow(hwnd_);
  if (song_font_) DeleteObject(song_font_);
}

bool MurrowForm::Create(int show_command) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance_;
  wc.hIcon = icons_.Add(manager::shell::Art::kAntiVirus, 32);
  wc.hIconSm = icons_.Add(manager::shell::Art::kAntiVirus, 16);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMurrowClass;
  if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  WNDCLASSEXA pc = wc;
  pc.lpfnWndProc = ForwardProc;
  pc.hIcon = pc.hIconSm = nullptr;
  for (const char* cls : {manager::skin::kPageClass, manager::skin::kBarClass}) {
    pc.lpszClassName = cls;
    if (!RegisterClassExA(&pc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  hwnd_ = CreateWindowExA(
      0, kMurrowClass, kMurrowCaption, style, work.left + (work.right - work.left - w) / 2,
      work.top + (work.bottom - work.top - h) / 2, w, h, nullptr, nullptr, instance_, this);
  if (!hwnd_) return false;
  BuildControls();
  skin_.Attach(hwnd_);
  skin_.SetActive(manager::LoadManagerSettings(paths_.manager_config).Skin);

  const MurrowSettings settings = LoadMurrowSettings(paths_.ini);
  SetText(idEdtScanDir, InitialScanFolder(paths_, settings));
  SetText(idEdtRuleDir, settings.RuleDir);
  FillQuarantineList();
  ShowList(0);
  Layout();
  ShowWindow(hwnd_, show_command);
  UpdateWindow(hwnd_);
  return true;
}

// Window procedures ------------------------------------------------------------

LRESULT CALLBACK MurrowForm::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MurrowForm* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<MurrowForm*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<MurrowForm*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
  try {
    return self->HandleMessage(hwnd, msg, wp, lp);
  } catch (const std::exception& e) {
    self->Message(e.what(), MB_ICONSTOP);
  } catch (...) {
    self->Message("未知错误", MB_ICONSTOP);
  }
  return 0;
}

// The page and the bottom bar pass their controls' messages to the form.
LRESULT CALLBACK MurrowForm::ForwardProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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

LRESULT MurrowForm::HandleMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SIZE:
      if (bar_) Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      RECT r{0, 0, kClientWidth, kClientHeight};
      AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
      auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
      mm->ptMinTrackSize = {r.right - r.left, r.bottom - r.top};
      return 0;
    }
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) OnCommand(LOWORD(wp));
      return 0;
    case WM_NOTIFY:
      OnNotify(*reinterpret_cast<const NMHDR*>(lp));
      return 0;
    case WM_SCANCHANGED:
      OnScanChanged();
      return 0;
    case WM_CLOSE:
      SaveSettings();
      job_.reset();
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// Controls ---------------------------------------------------------------------

HWND MurrowForm::AddControl(const char* cls, const char* text, DWORD style, DWORD ex_style, int id,
                            int x, int y, int w, int h, HWND parent) {
  HWND ctl = CreateWindowExA(ex_style, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                             parent ? parent : page_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  SendMessageA(ctl, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
  if (id > 0) controls_[id] = ctl;
  return ctl;
}

void MurrowForm::AddColumns(HWND list, const std::vector<std::pair<const char*, int>>& columns) {
  int i = 0;
  for (const auto& c : columns) {
    LVCOLUMNA col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = const_cast<char*>(c.first);
    col.cx = c.second;
    SendMessageA(list, LVM_INSERTCOLUMNA, i++, reinterpret_cast<LPARAM>(&col));
  }
}

// Positions are those of the design size (kClientWidth x kClientHeight);
// Layout stretches the wide controls when the window grows.
void MurrowForm::BuildControls() {
  song_font_ = manager::shell::MakeFont(manager::shell::kSongTi, 9, GB2312_CHARSET);
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(song_font_), FALSE);
  // The controls sit on a page, as on the manager's pages: the page paints
  // the background that group boxes leave open.
  page_ = CreateWindowExA(WS_EX_CONTROLPARENT, manager::skin::kPageClass, "",
                          WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, kClientWidth,
                          kClientHeight - kBarHeight, hwnd_, nullptr, instance_, nullptr);

  HWND emblem = AddControl("Static", "", SS_ICON | SS_REALSIZEIMAGE, 0, 0, 16, 8, 48, 48);
  SendMessageA(emblem, STM_SETICON,
               reinterpret_cast<WPARAM>(icons_.Add(manager::shell::Art::kAntiVirus, 48)), 0);
  AddControl("Static", kSlogan, SS_LEFT | SS_NOPREFIX, 0, 0, 80, 14, 540, 16);
  AddControl("Static", kSubSlogan, SS_LEFT | SS_NOPREFIX, 0, 0, 80, 36, 550, 16);

  AddControl("Button", "扫描设置", BS_GROUPBOX, 0, 0, 8, 62, 624, 84);
  AddControl("Static", "扫描目录", SS_LEFT | SS_NOPREFIX, 0, 0, 20, 87, 60, 16);
  AddControl("Edit", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, idEdtScanDir, 84, 83, 370,
             22);
  AddControl("Button", "浏览...", BS_PUSHBUTTON | WS_TABSTOP, 0, idBtnScanDir, 460, 82, 64, 25);
  AddControl("Button", kStartCaption, BS_PUSHBUTTON | WS_TABSTOP, 0, idBtnScan, 532, 82, 90, 25);
  AddControl("Static", "规则目录", SS_LEFT | SS_NOPREFIX, 0, 0, 20, 117, 60, 16);
  AddControl("Edit", "", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE, idEdtRuleDir, 84, 113, 370,
             22);
  AddControl("Button", "浏览...", BS_PUSHBUTTON | WS_TABSTOP, 0, idBtnRuleDir, 460, 112, 64, 25);
  AddControl("Static", "(可选, 附加)", SS_LEFT | SS_NOPREFIX, 0, 0, 532, 117, 90, 16);

  AddControl("Static", kReady, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 0, idLblProgress, 12, 154,
             616, 16);

  HWND tabs = AddControl(WC_TABCONTROLA, "",
                         WS_CLIPSIBLINGS | TCS_BUTTONS | TCS_FLATBUTTONS | TCS_FIXEDWIDTH, 0,
                         idTabs, 8, 176, 624, kTabHeight + 4);
  SendMessageA(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(kTabWidth, kTabHeight));
  int i = 0;
  for (const char* caption : {"扫描结果", "隔离区"}) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(caption);
    SendMessageA(tabs, TCM_INSERTITEMA, i++, reinterpret_cast<LPARAM>(&item));
  }

  const DWORD list_style =
      LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP;
  HWND findings =
      AddControl(WC_LISTVIEWA, "", list_style, WS_EX_CLIENTEDGE, idLstFindings, 8, 206, 624, 186);
  AddColumns(findings, {{"文件", 250}, {"规则", 170}, {"大小", 60}, {"修改时间", 128}});
  HWND jail =
      AddControl(WC_LISTVIEWA, "", list_style, WS_EX_CLIENTEDGE, idLstQuarantine, 8, 206, 624, 186);
  AddColumns(jail, {{"原路径", 260}, {"规则", 130}, {"大小", 60}, {"修改时间", 128}, {"编号", 40}});
  for (HWND list : {findings, jail}) {
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  }

  bar_ = CreateWindowExA(WS_EX_CONTROLPARENT, manager::skin::kBarClass, "",
                         WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, kClientHeight - kBarHeight,
                         kClientWidth, kBarHeight, hwnd_, nullptr, instance_, nullptr);
  struct BarButton {
    int id;
    const char* caption;
    int x, w;
  };
  for (const BarButton& b : {BarButton{idBtnQuarantine, "移入隔离区", 8, 100},
                             BarButton{idBtnRestore, "恢复原位", 116, 90},
                             BarButton{idBtnOpenFolder, "打开所在目录", 214, 110},
                             BarButton{idBtnOpenLog, "查看日志", 542, 90}}) {
    AddControl("Button", b.caption, BS_PUSHBUTTON | WS_TABSTOP, 0, b.id, b.x, 8, b.w, 25, bar_);
  }
}

void MurrowForm::Layout() {
  RECT c;
  GetClientRect(hwnd_, &c);
  const int w = std::max<int>(c.right, kClientWidth), h = std::max<int>(c.bottom, kClientHeight);
  const int grow = w - kClientWidth;
  auto place = [&](int id, int x, int y, int cw, int ch) {
    MoveWindow(Ctl(id), x, y, cw, ch, TRUE);
  };
  place(idEdtScanDir, 84, 83, 370 + grow, 22);
  place(idEdtRuleDir, 84, 113, 370 + grow, 22);
  place(idBtnScanDir, 460 + grow, 82, 64, 25);
  place(idBtnRuleDir, 460 + grow, 112, 64, 25);
  place(idBtnScan, 532 + grow, 82, 90, 25);
  place(idLblProgress, 12, 154, 616 + grow, 16);
  place(idTabs, 8, 176, 624 + grow, kTabHeight + 4);
  const int list_h = h - kBarHeight - 8 - 206;
  place(idLstFindings, 8, 206, 624 + grow, list_h);
  place(idLstQuarantine, 8, 206, 624 + grow, list_h);
  MoveWindow(page_, 0, 0, w, h - kBarHeight, TRUE);
  // The group box follows the right edge.
  HWND child = GetWindow(page_, GW_CHILD);
  for (; child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[16] = {};
    GetClassNameA(child, cls, sizeof cls);
    if ((GetWindowLongPtrA(child, GWL_STYLE) & 0xF) == BS_GROUPBOX &&
        lstrcmpiA(cls, "Button") == 0) {
      MoveWindow(child, 8, 62, 624 + grow, 84, TRUE);
    }
  }
  MoveWindow(bar_, 0, h - kBarHeight, w, kBarHeight, TRUE);
  MoveWindow(Ctl(idBtnOpenLog), w - 98, 8, 90, 25, TRUE);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// Commands -----------------------------------------------------------------------

void MurrowForm::OnCommand(int id) {
  switch (id) {
    case idBtnScanDir:
      ChooseFolder(idEdtScanDir, "选择要扫描的网站目录");
      break;
    case idBtnRuleDir:
      ChooseFolder(idEdtRuleDir, "选择自己的YARA规则目录(其中的 .yar/.yara 文件)");
      break;
    case idBtnScan:
      StartOrStopScan();
      break;
    case idBtnQuarantine:
      QuarantineSelected();
      break;
    case idBtnRestore:
      RestoreSelected();
      break;
    case idBtnOpenFolder:
      OpenSelectedFolder();
      break;
    case idBtnOpenLog:
      manager::shell::OpenLog(paths_.log);
      break;
    default:
      break;
  }
}

void MurrowForm::OnNotify(const NMHDR& hdr) {
  if (hdr.idFrom == idTabs && hdr.code == static_cast<UINT>(TCN_SELCHANGE)) {
    ShowList(static_cast<int>(SendMessageA(Ctl(idTabs), TCM_GETCURSEL, 0, 0)));
  } else if ((hdr.idFrom == idLstFindings || hdr.idFrom == idLstQuarantine) &&
             hdr.code == static_cast<UINT>(LVN_ITEMCHANGED)) {
    UpdateButtons();
  } else if (hdr.idFrom == idLstFindings && hdr.code == static_cast<UINT>(NM_DBLCLK)) {
    OpenSelectedFolder();
  }
}

void MurrowForm::ChooseFolder(int edit_id, const char* title) {
  std::string folder;
  if (!manager::shell::PickFolder(hwnd_, title, &folder)) return;
  if (edit_id == idEdtScanDir && !folder.empty() && folder.back() != '\\') folder += '\\';
  SetText(edit_id, folder);
  SaveSettings();
}

void MurrowForm::StartOrStopScan() {
  if (job_) {
    job_->Stop();
    SetText(idLblProgress, "正在停止...");
    return;
  }
  const std::string folder = Text(idEdtScanDir);
  if (folder.empty() || !platform::DirectoryExists(folder)) {
    Message("扫描目录不存在: " + folder, MB_ICONWARNING);
    return;
  }
  SaveSettings();
  findings_.clear();
  SendMessageA(Ctl(idLstFindings), LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(Ctl(idTabs), TCM_SETCURSEL, 0, 0);
  ShowList(0);

  ScanRequest request;
  request.rule_dirs = RuleFolders(paths_, LoadMurrowSettings(paths_.ini));
  request.folder = folder;
  request.log_path = paths_.log;
  request.options.jobs = ScanThreads();
  scanning_folder_ = folder;
  HWND hwnd = hwnd_;
  job_ = std::make_unique<ScanJob>(std::move(request),
                                   [hwnd] { PostMessageA(hwnd, WM_SCANCHANGED, 0, 0); });
  SetText(idBtnScan, kStopCaption);
  SetText(idLblProgress, "正在加载规则...");
  for (int id : {idEdtScanDir, idEdtRuleDir, idBtnScanDir, idBtnRuleDir}) {
    EnableWindow(Ctl(id), FALSE);
  }
}

// Collects what the job has to tell. Message boxes come last: their modal
// loop dispatches further WM_SCANCHANGED, which must find the window's
// state already brought up to date.
void MurrowForm::OnScanChanged() {
  if (!job_) return;
  for (Finding& f : job_->TakeFindings()) {
    AddRow(idLstFindings,
           {PathUnder(scanning_folder_, f.path), JoinRules(f.rules), FormatSize(f.size),
            f.last_write_time ? FormatFileTime(f.last_write_time) : ""});
    findings_.push_back(std::move(f));
  }
  const std::vector<CompileError> errors = job_->TakeRuleErrors();
  const ScanStatus s = job_->Status();
  std::string line;
  if (!s.finished) {
    line = s.rule_count == 0 ? "正在加载规则..." : "正在扫描: " + FormatProgress(s.totals);
  } else if (s.no_rules) {
    line = "没有可用的规则, 未扫描";
  } else {
    line = std::string(s.totals.cancelled ? "扫描已停止: " : "扫描完成: ") +
           FormatProgress(s.totals) + " (规则 " + std::to_string(s.rule_count) + " 条)";
  }
  if (!s.log_error.empty()) line += "; 日志写入失败: " + s.log_error;
  SetText(idLblProgress, line);
  if (s.finished) {
    job_.reset();
    SetText(idBtnScan, kStartCaption);
    for (int id : {idEdtScanDir, idEdtRuleDir, idBtnScanDir, idBtnRuleDir}) {
      EnableWindow(Ctl(id), TRUE);
    }
  }
  UpdateButtons();
  if (!errors.empty()) {
    std::string text = "以下规则文件有错误, 已跳过 (其余规则照常使用):\r\n";
    for (const CompileError& e : errors) text += "\r\n" + e.Text();
    Message(text, MB_ICONWARNING);
  }
  if (s.finished && s.no_rules) {
    Message("没有可用的规则: 请检查本程序旁的 rules 目录和规则目录设置。", MB_ICONWARNING);
  }
}

void MurrowForm::QuarantineSelected() {
  const int row = SelectedRow(idLstFindings);
  if (row < 0 || row >= static_cast<int>(findings_.size())) {
    Message("请先在扫描结果中选择一个文件。", MB_ICONINFORMATION);
    return;
  }
  const Finding f = findings_[row];
  QuarantineEntry entry;
  std::string error;
  if (!QuarantineFinding(paths_, f.path, f.rules, NowStamp(), &entry, &error)) {
    Message("隔离失败: " + error, MB_ICONWARNING);
    return;
  }
  findings_.erase(findings_.begin() + row);
  SendMessageA(Ctl(idLstFindings), LVM_DELETEITEM, row, 0);
  FillQuarantineList();
  SetText(idLblProgress, "已移入隔离区 (" + entry.id + "): " + f.path);
  UpdateButtons();
}

void MurrowForm::RestoreSelected() {
  const int row = SelectedRow(idLstQuarantine);
  if (row < 0 || row >= static_cast<int>(quarantined_.size())) {
    Message("请先在隔离区中选择一个文件。", MB_ICONINFORMATION);
    return;
  }
  const QuarantineEntry e = quarantined_[row];
  std::string error;
  if (!RestoreQuarantined(paths_, e, NowStamp(), &error)) {
    Message("恢复失败: " + error, MB_ICONWARNING);
    return;
  }
  FillQuarantineList();
  SetText(idLblProgress, "已恢复原位: " + e.original_path);
  UpdateButtons();
}

void MurrowForm::OpenSelectedFolder() {
  if (shown_list_ == 0) {
    const int row = SelectedRow(idLstFindings);
    if (row >= 0 && row < static_cast<int>(findings_.size())) {
      ShowInExplorer(hwnd_, findings_[row].path);
    }
  } else {
    const int row = SelectedRow(idLstQuarantine);
    if (row >= 0 && row < static_cast<int>(quarantined_.size())) {
      ShowInExplorer(hwnd_, paths_.quarantine + "\\" + quarantined_[row].id + ".bin");
    }
  }
}

void MurrowForm::ShowList(int index) {
  shown_list_ = index == 1 ? 1 : 0;
  ShowWindow(Ctl(idLstFindings), shown_list_ == 0 ? SW_SHOW : SW_HIDE);
  ShowWindow(Ctl(idLstQuarantine), shown_list_ == 1 ? SW_SHOW : SW_HIDE);
  if (shown_list_ == 1) FillQuarantineList();
  InvalidateRect(Ctl(idTabs), nullptr, TRUE);
  UpdateButtons();
}

void MurrowForm::FillQuarantineList() {
  quarantined_ = ListQuarantine(paths_.quarantine);
  HWND list = Ctl(idLstQuarantine);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  for (const QuarantineEntry& e : quarantined_) {
    AddRow(idLstQuarantine,
           {e.original_path, e.rules, FormatSize(e.size), FormatFileTime(e.last_write_time), e.id});
  }
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void MurrowForm::UpdateButtons() {
  EnableWindow(Ctl(idBtnQuarantine), shown_list_ == 0 && SelectedRow(idLstFindings) >= 0);
  EnableWindow(Ctl(idBtnRestore), shown_list_ == 1 && SelectedRow(idLstQuarantine) >= 0);
  EnableWindow(Ctl(idBtnOpenFolder),
               SelectedRow(shown_list_ == 0 ? idLstFindings : idLstQuarantine) >= 0);
}

void MurrowForm::SaveSettings() {
  MurrowSettings s;
  s.ScanDir = Text(idEdtScanDir);
  s.RuleDir = Text(idEdtRuleDir);
  SaveMurrowSettings(paths_.ini, s);
}

// Helpers ------------------------------------------------------------------------

HWND MurrowForm::Ctl(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

std::string MurrowForm::Text(int id) const {
  HWND ctl = Ctl(id);
  const int n = GetWindowTextLengthA(ctl);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(ctl, &s[0], n + 1);
  s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return s;
}

void MurrowForm::SetText(int id, const std::string& text) { SetWindowTextA(Ctl(id), text.c_str()); }

int MurrowForm::SelectedRow(int list_id) const {
  return static_cast<int>(
      SendMessageA(Ctl(list_id), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void MurrowForm::AddRow(int list_id, const std::vector<std::string>& cells) {
  HWND list = Ctl(list_id);
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = const_cast<char*>(cells[0].c_str());
  const int row =
      static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  for (std::size_t i = 1; i < cells.size(); ++i) {
    LVITEMA sub{};
    sub.iSubItem = static_cast<int>(i);
    sub.pszText = const_cast<char*>(cells[i].c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&sub));
  }
}

void MurrowForm::Message(const std::string& text, UINT icon) {
  MessageBoxA(hwnd_, text.c_str(), kMurrowCaption, MB_OK | icon);
}

}  // namespace zelk::scanner::murrow
