#include "manager/shell/layout.h"

namespace zelk::manager::shell {

const std::array<PageInfo, kPageCount> kPages = {{
    {PageId::ts0, "ts0", "Web应用防火墙", true, "Zelk WAF为您的网站提供最贴身最强劲保护",
     "综合设置", 48},
    {PageId::ts1, "ts1", "SQL注入", true, "Zelk WAF采用正则式匹配技术 有效拦截注入威胁",
     "防注入设置", 32},
    {PageId::ts2, "ts2", "流量控制", true, "Zelk WAF强力拦截由多线程下载造成的带宽枯竭", "流量设置",
     32},
    {PageId::ts3, "ts3", "信息屏蔽", true, "Zelk WAF精确拦截各种敏感文件及信息", "信息屏蔽", 32},
    {PageId::tsUrl, "tsUrl", "URL白名单", false, "Zelk WAF若误拦截请将相对路径加入白名单",
     "URL白名单(如:/admin/add.asp)", 32},
    {PageId::ts5, "ts5", "网站监控", true, "Zelk WAF实时监控文件改动并可删除新建Webshell",
     "网站监控", 32},
    {PageId::ts6, "ts6", "篡改检查", true, "Zelk WAF提取文件特征用于校验文件是否改动", "篡改检查",
     32},
    {PageId::tsLog, "tsLog", "日志记录", false, "Zelk WAF详细日志 让你轻轻松松发现网站问题",
     "日志记录", 32},
    {PageId::tsHelp, "tsHelp", "帮助支持", false, "Zelk WAF用户指南、专业建议和系统帮助",
     "帮助和支持", 32},
    {PageId::tsSet, "tsSet", "系统设置", false, "Zelk WAF系统设置 个性化设置从这里开始", "系统设置",
     32},
}};

int TabIndexOf(PageId id) {
  int tab = 0;
  for (const PageInfo& p : kPages) {
    if (p.id == id) return p.tab_shown ? tab : -1;
    if (p.tab_shown) ++tab;
  }
  return -1;
}

PageId PageOfTab(int tab_index) {
  int tab = 0;
  for (const PageInfo& p : kPages) {
    if (!p.tab_shown) continue;
    if (tab == tab_index) return p.id;
    ++tab;
  }
  return PageId::ts0;
}

int TabCount() {
  int n = 0;
  for (const PageInfo& p : kPages) n += p.tab_shown ? 1 : 0;
  return n;
}

const std::array<TreeItem, 11> kTreeItems = {{
    {0, "Web应用防火墙", 0},
    {1, "SQL注入", 1},
    {1, "流量控制", 2},
    {1, "信息屏蔽", 3},
    {1, "URL白名单", 10},
    {0, "Web杀毒", 4},
    {0, "网站监控", 5},
    {0, "篡改检查", 6},
    {0, "系统设置", 7},
    {0, "日志记录", 8},
    {0, "帮助支持", 9},
}};

TreeAction ActionForIcon(int selected_icon) {
  TreeAction a;
  a.kind = TreeAction::kShowPage;
  switch (selected_icon) {
    case 0:
      a.page = PageId::ts0;
      break;
    case 1:
      a.page = PageId::ts1;
      break;
    case 2:
      a.page = PageId::ts2;
      break;
    case 3:
      a.page = PageId::ts3;
      break;
    case 5:
      a.page = PageId::ts5;
      break;
    case 6:
      a.page = PageId::ts6;
      break;
    case 7:
      a.page = PageId::tsSet;
      break;
    case 8:
      a.page = PageId::tsLog;
      break;
    case 9:
      a.page = PageId::tsHelp;
      break;
    case 10:
      a.page = PageId::tsUrl;
      break;
    case 4:
      a.kind = TreeAction::kStartScanner;
      break;
    default:
      a.kind = TreeAction::kNone;
      break;
  }
  return a;
}

std::string ScannerPath(const std::string& manager_dir) {
  return manager_dir + "Murrow\\Murrow.exe";
}

std::string QuotedCommandPath(const std::string& path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return path;
  // A GBK trail byte is never 0x20, so a plain byte search finds only real
  // spaces.
  if (path.find(' ') == std::string::npos) return path;
  return "\"" + path + "\"";
}

namespace {
using K = ControlKind;
using P = PageId;
}  // namespace

// Group boxes span the page below the slogan; the controls inside keep a
// 12-pixel margin from the box.
const ControlSpec kControls[] = {
    // ts0: two boxes
    {P::ts0, K::kGroup, kIdNone, "", "综合设置", 8, 58, 427, 122},
    {P::ts0, K::kCheck, idChkPostShell, "chkPostShell",
     "禁止上传Web后门 注:可拦截asp和php的非法后门文件", 20, 78, 400, 20},
    {P::ts0, K::kCheck, idChkMETHOD, "chkMETHOD", "禁用非法请求方法  注:可阻断IIS PUT写权限漏洞",
     20, 102, 400, 20},
    {P::ts0, K::kCheck, idChkIISVer, "chkIISVer", "禁止查看IIS版本 注:可防止IIS版本信息被扫描识别",
     20, 126, 400, 20},
    {P::ts0, K::kCheck, idChkAnonymousLogin, "chkAnonymousLogin",
     "启用匿名登陆日志记录 注:可发现尝试提权脚本后门", 20, 150, 400, 20},
    {P::ts0, K::kGroup, kIdNone, "", "安装状态", 8, 186, 427, 74},
    {P::ts0, K::kStateLabel, idLblState, "lblState", "未安装", 24, 218, 81, 17},
    {P::ts0, K::kButton, idSetupBtn, "SetupBtn", "安装", 120, 212, 90, 25},
    {P::ts0, K::kButton, idUninstallBtn, "UninstallBtn", "卸载", 222, 212, 90, 25},
    {P::ts0, K::kButton, idBtnIISreset, "btnIISreset", "重启IIS", 324, 212, 90, 25},
    // ts1
    {P::ts1, K::kGroup, kIdNone, "", "防注入设置", 8, 58, 427, 202},
    {P::ts1, K::kCheck, idChkGET, "chkGET", "启用GET防注入", 20, 80, 120, 20},
    {P::ts1, K::kCheck, idChkCookie, "chkCookie", "启用Cookie防注入", 146, 80, 136, 20},
    {P::ts1, K::kCheck, idChkPost, "chkPost", "启用POST防注入", 288, 80, 130, 20},
    {P::ts1, K::kLabel, kIdNone, "", "自定义防注入正则表达式内置规则将失效,仅供高级用户使用.", 20,
     112, 400, 14},
    {P::ts1, K::kLabel, kIdNone, "", "GET防注入规则", 20, 144, 100, 14},
    {P::ts1, K::kEdit, idEdtGet, "edtGet", "", 128, 140, 290, 21},
    {P::ts1, K::kLabel, kIdNone, "", "Cookie防注入规则", 20, 178, 100, 14},
    {P::ts1, K::kEdit, idEdtCookie, "edtCookie", "", 128, 174, 290, 21},
    {P::ts1, K::kLabel, kIdNone, "", "POST防注入规则", 20, 212, 100, 14},
    {P::ts1, K::kEdit, idEdtPost, "edtPost", "", 128, 208, 290, 21},
    // ts2
    {P::ts2, K::kGroup, kIdNone, "", "流量设置", 8, 58, 427, 202},
    {P::ts2, K::kCheck, idChkRANGE, "chkRANGE",
     "启用防多线程下载 注:可防止迅雷\\快车等多线程工具下载", 20, 84, 400, 20},
    // ts3
    {P::ts3, K::kGroup, kIdNone, "", "信息屏蔽", 8, 58, 427, 202},
    {P::ts3, K::kCheck, idChk403err, "chk403err",
     "屏蔽HTTP服务器403错误回显 注:可干扰Web扫描器目录探测", 20, 84, 400, 20},
    {P::ts3, K::kCheck, idChk500err, "chk500err",
     "屏蔽HTTP服务器500错误回显 注:可干扰SQL注入器正确判断", 20, 112, 400, 20},
    {P::ts3, K::kCheck, idChkFileExtDown, "chkFileExtDown", "禁止包含敏感信息文件被下载", 20, 142,
     186, 20},
    {P::ts3, K::kEdit, idEdtFileExtDown, "edtFileExtDown", ".mdb|.inc|.bak|", 210, 141, 210, 21},
    // tsUrl
    {P::tsUrl, K::kGroup, kIdNone, "", "URL白名单(如:/admin/add.asp)", 8, 58, 427, 202},
    {P::tsUrl, K::kList, idLsturl, "lsturl", "", 20, 78, 369, 145},
    {P::tsUrl, K::kEdit, idEdturl, "edturl", "", 20, 229, 229, 21},
    {P::tsUrl, K::kButton, idBtnurl, "btnurl", "添加", 257, 227, 62, 25},
    {P::tsUrl, K::kButton, idBtndelurl, "btndelurl", "删除", 327, 227, 62, 25},
    // ts5
    {P::ts5, K::kGroup, kIdNone, "", "网站监控", 8, 58, 427, 202},
    {P::ts5, K::kList, idLstfilemon, "lstfilemon", "", 20, 76, 369, 113},
    {P::ts5, K::kLabel, kIdNone, "", "监控类型", 20, 201, 52, 14},
    {P::ts5, K::kComboEdit, idCbbmonfileext, "cbbmonfileext", "", 76, 197, 150, 120},
    {P::ts5, K::kCheck, idChkdelnew, "chkdelnew", "删除新建文件", 240, 197, 120, 20},
    {P::ts5, K::kLabel, kIdNone, "", "监控目录", 20, 231, 52, 14},
    {P::ts5, K::kEdit, idEdtmondir, "edtmondir", "D:\\www\\", 76, 227, 150, 21},
    {P::ts5, K::kButton, idBtnfilemon, "btnfilemon", "开始监控", 240, 225, 72, 25},
    {P::ts5, K::kButton, idBtnmonlog, "btnmonlog", "查看日志", 317, 225, 72, 25},
    // ts6
    {P::ts6, K::kGroup, kIdNone, "", "篡改检查", 8, 58, 427, 202},
    {P::ts6, K::kLabel, idLblPath, "lblPath", "状态显示", 20, 76, 353, 14},
    {P::ts6, K::kButton, idBtnchkdir, "btnchkdir", "检查目录", 20, 96, 80, 25},
    {P::ts6, K::kEdit, idEdtchkdir, "edtchkdir", "D:\\", 108, 98, 281, 21},
    {P::ts6, K::kButton, idBtnchklog, "btnchklog", "快照文件", 20, 126, 80, 25},
    {P::ts6, K::kEdit, idEdtchklog, "edtchklog", "c:\\log.txt", 108, 128, 281, 21},
    {P::ts6, K::kLabel, kIdNone, "", "限定文件类型", 20, 162, 84, 14},
    {P::ts6, K::kComboEdit, idCbbchkfileext, "cbbchkfileext", "", 108, 158, 160, 120},
    {P::ts6, K::kLabel, kIdNone, "", "文件最大大小", 20, 192, 84, 14},
    {P::ts6, K::kComboList, idCbbchkfilesize, "cbbchkfilesize", "", 108, 188, 160, 120},
    {P::ts6, K::kButton, idBtnchktwolog, "btnchktwolog", "快照对比", 108, 222, 88, 25},
    {P::ts6, K::kButton, idBtnchkextract, "btnchkextract", "提取特征", 204, 222, 88, 25},
    {P::ts6, K::kButton, idBtnchkmod, "btnchkmod", "篡改检查", 300, 222, 88, 25},
    // tsLog: two rows of two
    {P::tsLog, K::kGroup, kIdNone, "", "日志记录", 8, 58, 427, 202},
    {P::tsLog, K::kButton, idBtnOpenwaflog, "btnOpenwaflog", "防火墙日志", 60, 104, 145, 33},
    {P::tsLog, K::kButton, idBtnOpenmurrowlog, "btnOpenmurrowlog", "Web杀毒日志", 238, 104, 145,
     33},
    {P::tsLog, K::kButton, idBtnOpenmonlog, "btnOpenmonlog", "网站监控日志", 60, 164, 145, 33},
    {P::tsLog, K::kButton, idBtnOpenmodlog, "btnOpenmodlog", "篡改检查日志", 238, 164, 145, 33},
    // tsHelp
    {P::tsHelp, K::kGroup, kIdNone, "", "帮助和支持", 8, 58, 427, 202},
    {P::tsHelp, K::kMemo, idMmoHelp, "mmoHelp", "", 20, 78, 367, 163},
    // tsSet
    {P::tsSet, K::kGroup, kIdNone, "", "系统设置", 8, 58, 427, 202},
    {P::tsSet, K::kCheck, idChkSkin, "chkSkin", "启用皮肤功能(会轻度影响系统性能)", 20, 80, 400,
     20},
    {P::tsSet, K::kCheck, idChkRun, "chkRun", "随系统启动需登录系统有效(Run方式)", 20, 108, 400,
     20},
    {P::tsSet, K::kCheck, idChkAMon, "chkAMon", "软件运行后自动开启网站监控(运行后)", 20, 136, 400,
     20},
    {P::tsSet, K::kCheck, idChkWirteLog, "chkWirteLog", "启用Web应用防火墙日志记录(所有类型)", 20,
     164, 400, 20},
    {P::tsSet, K::kCheck, idChkLearn, "chkLearn", "启用学习模式不拦截只记录(SQL\\UPLOAD)", 20, 192,
     400, 20},
};
const int kControlCount = static_cast<int>(sizeof(kControls) / sizeof(kControls[0]));

const ControlSpec* FindControl(int id) {
  if (id == kIdNone) return nullptr;
  for (int i = 0; i < kControlCount; ++i) {
    if (kControls[i].id == id) return &kControls[i];
  }
  return nullptr;
}

const char kHelpText[] =
    "\r\n"
    "技术交流QQ群(一):100200300\r\n"
    "技术交流QQ群(二):100200301\r\n"
    "\r\n"
    "官方支持论坛:http://bbs.zelkwaf.com/\r\n"
    "官方网店地址:http://shop.zelkwaf.com/\r\n"
    "\r\n"
    "如果您对本软件有更好的意见和建议请邮件联系：\r\n"
    "support@zelkwaf.com";

}  // namespace zelk::manager::shell
