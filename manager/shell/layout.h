// What the main window shows, as data: the navigation tree, the ten pages with
// their captions and slogans, and every control of every page with its
// caption, place and size. The Win32 window builds its controls from these
// tables (main_window_controls_win32.cpp); the tree's dispatch and the
// scanner's command line are pure functions here so that they can be checked
// without a window.
//
// All texts are GBK. Coordinates are client pixels of the page a control
// sits on (the page's top-left corner is 0, 0).
#pragma once

#include <array>
#include <string>

namespace zelk::manager::shell {

// The pages in their order in the page area.
enum class PageId { ts0, ts1, ts2, ts3, tsUrl, ts5, ts6, tsLog, tsHelp, tsSet };
inline constexpr int kPageCount = 10;

struct PageInfo {
  PageId id;
  const char* name;  // "ts0", for tests and screenshots
  const char* caption;
  bool tab_shown;
  const char* slogan;
  const char* group_caption;
  int emblem_size;  // 48 on ts0, 32 elsewhere
};

extern const std::array<PageInfo, kPageCount> kPages;

// Position of a page in the page area; its tab index among the shown tabs is
// TabIndexOf (or -1 when the page has no tab).
inline int PageIndex(PageId id) { return static_cast<int>(id); }
int TabIndexOf(PageId id);
// The page of the index-th shown tab.
PageId PageOfTab(int tab_index);
int TabCount();

struct TreeItem {
  int level;  // 0 top, 1 under the item above
  const char* text;
  int icon;  // image and selected-image index, equal
};

// In tree order; positions 0 to 10.
extern const std::array<TreeItem, 11> kTreeItems;

// What a click on the tree does for the selected item's selected-icon index.
struct TreeAction {
  enum Kind { kNone, kShowPage, kStartScanner } kind = kNone;
  PageId page = PageId::ts0;
};
TreeAction ActionForIcon(int selected_icon);

// The external scanner's program beside the manager.
std::string ScannerPath(const std::string& manager_dir);

// A program path as a command line or a Run value: quoted when it holds a
// space, so that "C:\Program Files\Zelk\ZelkWAF.exe" cannot start
// "C:\Program.exe". A path already in quotes is left alone.
std::string QuotedCommandPath(const std::string& path);

// Kinds of control the pages hold.
enum class ControlKind {
  kLabel,       // static text in the label colour
  kCheck,       // auto check box
  kButton,      // push button
  kEdit,        // single-line edit
  kList,        // list box
  kComboEdit,   // drop-down with an edit field
  kComboList,   // drop-down list
  kMemo,        // read-only multi-line edit
  kStateLabel,  // lblState, fixed size
  kGroup,       // group box
};

// Control identifiers (WM_COMMAND ids), one per named control.
enum ControlId : int {
  kIdNone = 0,
  // bottom bar
  idBtnSetting = 1001,
  idBtnOK,
  // ts0
  idChkPostShell = 1100,
  idChkMETHOD,
  idChkIISVer,
  idChkAnonymousLogin,
  idLblState,
  idSetupBtn,
  idUninstallBtn,
  idBtnIISreset,
  // ts1
  idChkGET = 1200,
  idChkCookie,
  idChkPost,
  idEdtGet,
  idEdtCookie,
  idEdtPost,
  // ts2
  idChkRANGE = 1300,
  // ts3
  idChk403err = 1400,
  idChk500err,
  idChkFileExtDown,
  idEdtFileExtDown,
  // tsUrl
  idLsturl = 1500,
  idEdturl,
  idBtnurl,
  idBtndelurl,
  // ts5
  idLstfilemon = 1600,
  idCbbmonfileext,
  idChkdelnew,
  idEdtmondir,
  idBtnfilemon,
  idBtnmonlog,
  // ts6
  idLblPath = 1700,
  idBtnchkdir,
  idEdtchkdir,
  idBtnchklog,
  idEdtchklog,
  idCbbchkfileext,
  idCbbchkfilesize,
  idBtnchktwolog,
  idBtnchkextract,
  idBtnchkmod,
  // tsLog
  idBtnOpenwaflog = 1800,
  idBtnOpenmurrowlog,
  idBtnOpenmonlog,
  idBtnOpenmodlog,
  // tsHelp
  idMmoHelp = 1900,
  // tsSet
  idChkSkin = 2000,
  idChkRun,
  idChkAMon,
  idChkWirteLog,
  idChkLearn,
  // window-level
  idWAFList = 2100,
  idPageControl1,
  // tray menu
  idShowHidePop = 2200,
  idExitMenu,
};

struct ControlSpec {
  PageId page;
  ControlKind kind;
  int id;  // kIdNone for plain labels and group boxes
  const char* name;
  const char* caption;
  int x, y, w, h;
};

// Every control of every page, page by page, top to bottom.
extern const ControlSpec kControls[];
extern const int kControlCount;

// The items of the three drop-downs come from settings_store.h; the help
// page's fixed text (nine lines, CR LF between them):
extern const char kHelpText[];

// Texts of the window itself.
inline constexpr char kAppTitle[] = "ZelkWEB应用防火墙";
inline constexpr char kWindowCaption[] = "ZelkWEB应用防火墙 V2.1";
inline constexpr char kApplyCaption[] = "应用";
inline constexpr char kOkCaption[] = "确定";
inline constexpr char kMenuShowHide[] = "显示/隐藏";
inline constexpr char kMenuExit[] = "退出";
inline constexpr char kMonitorStart[] = "开始监控";
inline constexpr char kMonitorStop[] = "停止监控";
inline constexpr char kExtractStart[] = "提取特征";
inline constexpr char kExtractStop[] = "停止提取";
// The folder picker's title when its caller gives none.
inline constexpr char kFolderTitle[] = "请选择目录";

// The notification icon's callback message (WM_USER + 2).
inline constexpr unsigned kTrayIconMessage = 1026;

// Geometry of the window (client pixels).
inline constexpr int kOuterWidth = 612, kOuterHeight = 382;
inline constexpr int kClientWidth = 596, kClientHeight = 344;
inline constexpr int kTreeWidth = 145;
inline constexpr int kBarHeight = 40;
inline constexpr int kTreeIndent = 19;

// The control spec of a named control, or null.
const ControlSpec* FindControl(int id);

}  // namespace zelk::manager::shell
