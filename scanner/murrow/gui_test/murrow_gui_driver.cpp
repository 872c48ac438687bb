// Drives Murrow.exe by window messages, as a user would: lays out a manager
// folder (whose path holds a space) with Murrow\Murrow.exe and its rules, a
// site folder with a Chinese name holding planted back doors, and a user rule
// folder with one broken rule; then starts Murrow.exe, checks that it offers
// the manager's monitor folder, sets the rule folder, scans, answers the
// rule-error box, reads the findings list, quarantines one finding, finds it
// in the quarantine list, restores it, and checks the log and Murrow.ini. A
// second start with the skin switched off scans again. Pictures of the window
// are saved along the way.
//
//   murrow_gui_driver <Murrow.exe> <ZelkWAF.exe> <work folder> <picture folder>
//
// Murrow.exe must already sit in <work folder>\Zelk WAF\Murrow\ with its
// rules folder, and the manager ZelkWAF.exe in <work folder>\Zelk WAF\: at
// the end the manager's "Web杀毒" item must start this Murrow.exe. Every wait is a poll for a
// condition with a generous time-out. Exit status: 0 when every check held, 1 otherwise.
// <windows.h> must come first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "manager/shell/layout.h"
#include "scanner/murrow/murrow_window_win32.h"

namespace murrow = zelk::scanner::murrow;
namespace shell = zelk::manager::shell;

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!ok) ++g_failures;
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeout_ms = 60000) {
  const DWORD start = GetTickCount();
  while (!condition()) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(50);  // polling interval of the condition, not a fixed wait
  }
  return true;
}

std::string ReadBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
  CloseHandle(f);
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string TextOf(HWND hwnd) {
  char buf[4096] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return buf;
}

int CountOf(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

struct Murrow {
  PROCESS_INFORMATION process{};
  HWND form = nullptr;
};
Murrow g;

// Controls sit on the page or on the bottom bar.
HWND Ctl(int id) {
  for (const char* cls : {"ZelkWAFPage", "ZelkWAFBar"}) {
    HWND parent = FindWindowExA(g.form, nullptr, cls, nullptr);
    HWND c = parent ? GetDlgItem(parent, id) : nullptr;
    if (c) return c;
  }
  return nullptr;
}

void Click(int id) { PostMessageA(Ctl(id), BM_CLICK, 0, 0); }

bool Start(const std::string& exe, const std::string& cwd) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string command = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(),
                      &si, &g.process)) {
    return false;
  }
  return WaitFor([] {
    g.form = FindWindowA(murrow::kMurrowClass, murrow::kMurrowCaption);
    return g.form && IsWindowVisible(g.form);
  });
}

bool Close() {
  PostMessageA(g.form, WM_CLOSE, 0, 0);
  const bool ended = WaitForSingleObject(g.process.hProcess, 60000) == WAIT_OBJECT_0;
  CloseHandle(g.process.hThread);
  CloseHandle(g.process.hProcess);
  return ended;
}

// A message box of Murrow's process with its caption.
HWND FindBox() {
  struct Search {
    DWORD pid;
    HWND found;
  } s{g.process.dwProcessId, nullptr};
  EnumWindows(
      [](HWND w, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char cls[32] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (pid == s->pid && lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(w) &&
            TextOf(w) == murrow::kMurrowCaption) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&s));
  return s.found;
}

// Waits for a message box, answers OK, and returns its text.
std::string AnswerBox() {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindBox()) != nullptr; })) return "<no box>";
  const std::string shown = TextOf(GetDlgItem(box, 0xFFFF));
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  WaitFor([&] { return !IsWindow(box); });
  return shown;
}

// List-view messages carry pointers, which must point into Murrow's own
// memory: the item record and its text buffer live there.
class RemoteBuffer {
 public:
  explicit RemoteBuffer(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    at_ = static_cast<char*>(
        VirtualAllocEx(process_, nullptr, kSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~RemoteBuffer() {
    VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  static constexpr SIZE_T kSize = 8192, kTextAt = 1024;
  char* at() const { return at_; }
  void Put(const void* data, SIZE_T n) { WriteProcessMemory(process_, at_, data, n, nullptr); }
  std::string Text() const {
    std::vector<char> buf(kSize - kTextAt, '\0');
    ReadProcessMemory(process_, at_ + kTextAt, buf.data(), buf.size() - 1, nullptr);
    return buf.data();
  }

 private:
  HANDLE process_ = nullptr;
  char* at_ = nullptr;
};

int RowCount(int list_id) {
  return static_cast<int>(SendMessageA(Ctl(list_id), LVM_GETITEMCOUNT, 0, 0));
}

std::string Cell(int list_id, int row, int column) {
  RemoteBuffer remote(Ctl(list_id));
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = remote.at() + RemoteBuffer::kTextAt;
  item.cchTextMax = static_cast<int>(RemoteBuffer::kSize - RemoteBuffer::kTextAt);
  remote.Put(&item, sizeof item);
  SendMessageA(Ctl(list_id), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(remote.at()));
  return remote.Text();
}

void SelectRow(int list_id, int row) {
  RemoteBuffer remote(Ctl(list_id));
  LVITEMA item{};
  item.mask = LVIF_STATE;
  item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  remote.Put(&item, sizeof item);
  SendMessageA(Ctl(list_id), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.at()));
}

int RowOf(int list_id, const std::string& path) {
  for (int i = 0; i < RowCount(list_id); ++i) {
    if (Cell(list_id, i, 0) == path) return i;
  }
  return -1;
}

// A tab button clicked with the mouse (the buttons have a fixed width).
void ClickTab(int index) {
  const LPARAM at =
      MAKELPARAM(murrow::kTabWidth * index + murrow::kTabWidth / 2, murrow::kTabHeight / 2);
  PostMessageA(Ctl(murrow::idTabs), WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageA(Ctl(murrow::idTabs), WM_LBUTTONUP, 0, at);
}

// The window as the screen shows it, as a 24-bit BMP file.
void SavePicture(const std::string& path) {
  SendMessageTimeoutA(g.form, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
  RedrawWindow(g.form, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  SendMessageTimeoutA(g.form, WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
  RECT r;
  GetWindowRect(g.form, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(mem, old);
  const int stride = ((w * 3 + 3) / 4) * 4;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof bi.bmiHeader;
  fh.bfSize = fh.bfOffBits + stride * h;
  std::string bytes(reinterpret_cast<const char*>(&fh), sizeof fh);
  bytes.append(reinterpret_cast<const char*>(&bi.bmiHeader), sizeof bi.bmiHeader);
  bytes.append(static_cast<const char*>(bits), static_cast<std::size_t>(stride) * h);
  WriteBytes(path, bytes);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
}

bool ScanFinished() {
  return TextOf(Ctl(murrow::idBtnScan)) == "开始扫描" &&
         TextOf(Ctl(murrow::idLblProgress)).rfind("扫描完成", 0) == 0;
}

// Starts a scan and answers the rule-error box; returns the box's text.
std::string ScanWithBrokenUserRule() {
  Click(murrow::idBtnScan);
  const std::string box = AnswerBox();
  Check(WaitFor(ScanFinished),
        [] { return "scan finishes: " + TextOf(Ctl(murrow::idLblProgress)); }());
  return box;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: murrow_gui_driver <Murrow.exe> <ZelkWAF.exe> <work folder> <picture "
                 "folder>\n");
    return 2;
  }
  const std::string exe = argv[1], manager_exe = argv[2], work = argv[3], pictures = argv[4];
  const std::string manager = work + "\\Zelk WAF\\";
  const std::string jail = manager + "Murrow\\Quarantine\\";
  const std::string log_path = manager + "Murrow\\MurrowLog.txt";
  const std::string site = work + "\\网站\\";
  const std::string rules = work + "\\我的规则";
  CreateDirectoryA(site.c_str(), nullptr);
  CreateDirectoryA((site + "up").c_str(), nullptr);
  CreateDirectoryA(rules.c_str(), nullptr);
  const std::string asp_shell = "<%eval request(\"x\")%>";
  const std::string x_asp = site + "up\\x.asp";
  const std::string shell_php = site + "shell.php";
  const std::string image_shell = site + "up\\1.asp;.jpg";
  WriteBytes(x_asp, asp_shell);
  WriteBytes(shell_php, "<?php eval($_POST['x']);?>");
  WriteBytes(image_shell, std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00", 13) + asp_shell);
  WriteBytes(site + "index.asp", "<%response.write \"hello\"%>");
  WriteBytes(site + "readme.txt", "nothing here");
  WriteBytes(rules + "\\bad.yar", "rule broken {\n  condition:\n    $missing\n}\n");
  WriteBytes(rules + "\\mine.yar",
             "rule my_marker { strings: $a = \"zelk-marker\" condition: $a }\n");
  WritePrivateProfileStringA("Config", "MonDir", site.c_str(), (manager + "Config.ini").c_str());
  WritePrivateProfileStringA("Config", "Skin", "1", (manager + "Config.ini").c_str());

  // Started from another folder: Murrow finds its files beside itself.
  Check(Start(exe, work), "Murrow.exe starts and shows its window");
  if (!g.form) return 1;
  Check(TextOf(Ctl(murrow::idEdtScanDir)) == site,
        "the scan folder is the manager's monitor folder: " + TextOf(Ctl(murrow::idEdtScanDir)));
  SendMessageA(Ctl(murrow::idEdtRuleDir), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(rules.c_str()));
  SavePicture(pictures + "\\murrow-start-skin.bmp");

  const std::string box = ScanWithBrokenUserRule();
  Check(box.find("bad.yar:3:") != std::string::npos && box.find("已跳过") != std::string::npos,
        "the broken user rule is reported with file and line: " + box);
  Check(RowCount(murrow::idLstFindings) == 3,
        "three findings listed: " + std::to_string(RowCount(murrow::idLstFindings)));
  // The list shows paths below the scanned folder.
  for (const char* path : {"up\\x.asp", "shell.php", "up\\1.asp;.jpg"}) {
    const int row = RowOf(murrow::idLstFindings, path);
    Check(row >= 0 && !Cell(murrow::idLstFindings, row, 1).empty() &&
              !Cell(murrow::idLstFindings, row, 2).empty() &&
              Cell(murrow::idLstFindings, row, 3).size() == 19,
          "listed with rule, size and time: " + std::string(path) + " [" +
              (row >= 0 ? Cell(murrow::idLstFindings, row, 1) + "] " +
                              Cell(murrow::idLstFindings, row, 2) + " " +
                              Cell(murrow::idLstFindings, row, 3)
                        : std::string("missing]")));
  }
  Check(RowOf(murrow::idLstFindings, "index.asp") < 0, "the clean page is not listed");
  SavePicture(pictures + "\\murrow-results-skin.bmp");

  // Quarantine x.asp.
  SelectRow(murrow::idLstFindings, RowOf(murrow::idLstFindings, "up\\x.asp"));
  Check(WaitFor([] { return IsWindowEnabled(Ctl(murrow::idBtnQuarantine)) != FALSE; }),
        "selecting a finding enables the quarantine button");
  Click(murrow::idBtnQuarantine);
  Check(WaitFor([&] { return !Exists(x_asp) && RowCount(murrow::idLstFindings) == 2; }),
        "the quarantined file leaves the site and the list");
  Check(ReadBytes(jail + "q1.bin") == asp_shell, "its bytes are in Quarantine\\q1.bin");
  Check(ReadBytes(jail + "q1.txt").find("path=" + x_asp + "\r\n") != std::string::npos,
        "its original path is recorded: " + ReadBytes(jail + "q1.txt"));

  ClickTab(1);
  Check(WaitFor([] { return IsWindowVisible(Ctl(murrow::idLstQuarantine)) != FALSE; }),
        "the quarantine tab shows the quarantine list");
  Check(RowCount(murrow::idLstQuarantine) == 1 && Cell(murrow::idLstQuarantine, 0, 0) == x_asp &&
            Cell(murrow::idLstQuarantine, 0, 4) == "q1",
        "the quarantine list shows the original path: " + Cell(murrow::idLstQuarantine, 0, 0));
  SelectRow(murrow::idLstQuarantine, 0);
  SavePicture(pictures + "\\murrow-quarantine-skin.bmp");
  Click(murrow::idBtnRestore);
  Check(WaitFor([&] { return ReadBytes(x_asp) == asp_shell; }),
        "restore puts the file back with its bytes");
  Check(WaitFor([] { return RowCount(murrow::idLstQuarantine) == 0; }) && !Exists(jail + "q1.txt"),
        "and empties the quarantine");
  ClickTab(0);
  Check(WaitFor([] { return IsWindowVisible(Ctl(murrow::idLstFindings)) != FALSE; }),
        "the results tab shows the findings again");
  Check(Close(), "Murrow.exe ends when its window is closed");

  const std::string log = ReadBytes(log_path);
  Check(CountOf(log, "规则错误 ") == 1 && log.find("bad.yar:3:") != std::string::npos,
        "the log names the broken rule");
  Check(CountOf(log, "开始扫描 " + site + " [规则") == 1, "the log has the start line");
  Check(CountOf(log, "发现Web后门 ") == 3 &&
            log.find("发现Web后门 " + x_asp + " [") != std::string::npos,
        "the log has one line per finding");
  Check(CountOf(log, "扫描完成 " + site + " [检查文件") == 1, "the log has the summary line");
  Check(log.find("隔离 " + x_asp + " [") != std::string::npos &&
            log.find("恢复 " + x_asp + " [q1]") != std::string::npos,
        "the log has the quarantine and the restore");
  const std::string ini = ReadBytes(manager + "Murrow\\Murrow.ini");
  Check(ini.find("RuleDir=" + rules + "\r\n") != std::string::npos &&
            ini.find("ScanDir=" + site + "\r\n") != std::string::npos,
        "Murrow.ini keeps the folders: " + ini);

  // Again with the skin off: the same scan in the system's look; the rule
  // folder comes from Murrow.ini.
  WritePrivateProfileStringA("Config", "Skin", "0", (manager + "Config.ini").c_str());
  Check(Start(exe, work), "Murrow.exe starts again");
  if (!g.form) return 1;
  Check(TextOf(Ctl(murrow::idEdtRuleDir)) == rules, "the rule folder is remembered");
  // Stop: the second click reaches the window while the rules still load.
  CreateDirectoryA((site + "many").c_str(), nullptr);
  for (int i = 0; i < 300; ++i) {
    WriteBytes(site + "many\\p" + std::to_string(i) + ".asp", "<%response.write now()%>");
  }
  Click(murrow::idBtnScan);
  Click(murrow::idBtnScan);
  AnswerBox();
  Check(WaitFor([] {
          return TextOf(Ctl(murrow::idBtnScan)) == "开始扫描" &&
                 TextOf(Ctl(murrow::idLblProgress)).rfind("扫描已停止", 0) == 0;
        }),
        [] { return "停止扫描 stops the scan: " + TextOf(Ctl(murrow::idLblProgress)); }());
  Check(CountOf(ReadBytes(log_path), "扫描中止 " + site) == 1, "the log says it was stopped");
  ScanWithBrokenUserRule();
  Check(RowCount(murrow::idLstFindings) == 3, "the second scan lists three findings again");
  SelectRow(murrow::idLstFindings, 0);
  SavePicture(pictures + "\\murrow-results-standard.bmp");
  Check(Close(), "Murrow.exe ends again");
  const std::string last = ReadBytes(log_path);
  Check(CountOf(last, "扫描完成 ") == 2 && CountOf(last, "[检查文件304个,") == 1,
        "the log has both summaries, the second over the added files");

  // The manager's "Web杀毒" item starts Murrow.exe in its normal window.
  PROCESS_INFORMATION manager_process{};
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string command = "\"" + manager_exe + "\"";
  HWND manager_form = nullptr;
  const bool manager_started =
      CreateProcessA(manager_exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                     work.c_str(), &si, &manager_process) &&
      WaitFor([&] {
        manager_form = FindWindowA("TForm1", shell::kWindowCaption);
        return manager_form && IsWindowVisible(manager_form);
      });
  Check(manager_started, "the manager starts");
  if (manager_started) {
    HWND tree = FindWindowExA(manager_form, nullptr, WC_TREEVIEWA, nullptr);
    int position = 0;
    while (position < static_cast<int>(shell::kTreeItems.size()) &&
           shell::ActionForIcon(shell::kTreeItems[position].icon).kind !=
               shell::TreeAction::kStartScanner) {
      ++position;
    }
    // Every item is visible at start, one item height per row.
    const int height = static_cast<int>(SendMessageA(tree, TVM_GETITEMHEIGHT, 0, 0));
    const LPARAM at = MAKELPARAM(shell::kTreeIndent * (shell::kTreeItems[position].level + 1) + 24,
                                 position * height + height / 2);
    PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(tree, WM_LBUTTONUP, 0, at);
    const bool shown = WaitFor([] {
      g.form = FindWindowA(murrow::kMurrowClass, murrow::kMurrowCaption);
      return g.form && IsWindowVisible(g.form) && !IsIconic(g.form);
    });
    Check(shown, "Web杀毒 in the manager opens Murrow's window");
    if (shown) {
      DWORD pid = 0;
      GetWindowThreadProcessId(g.form, &pid);
      g.process = {};
      g.process.hProcess = OpenProcess(SYNCHRONIZE, FALSE, pid);
      Check(pid != manager_process.dwProcessId && Close(), "that Murrow.exe ends on its own");
    }
    TerminateProcess(manager_process.hProcess, 0);
    WaitForSingleObject(manager_process.hProcess, 30000);
    CloseHandle(manager_process.hThread);
    CloseHandle(manager_process.hProcess);
  }

  std::printf("%s: %d failed checks\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}
