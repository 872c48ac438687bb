#include "manager/cli/monitor_command.h"

#include <memory>

#include "manager/cli/terminal_ui.h"
#include "manager/common/text_fields.h"
#include "manager/monitor/site_monitor.h"
#include "platform/codepage.h"
#include "platform/dirwatch.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

using cli::PrintForPeople;

const char kUsage[] =
    "用法: zelkwaf-manager [--home 目录] monitor [--dir 目录] [--types 掩码] [--delete-new | "
    "--keep-new]\n"
    "                      [--rules 目录 | --no-scan]\n"
    "\n"
    "网站监控: 实时监视目录及其子目录中文件和文件夹的新建、删除、修改和改名。完整路径与某个掩码\n"
    "相符的每个变化打印一行, 并追加到监控日志 Log/newmonlog.txt, 直到按 Ctrl+C 结束。\n"
    "  --dir 目录       监控目录 (默认: Config.ini 的 MonDir)\n"
    "  --types 掩码     以逗号分隔的掩码, 如 \"*.as*,*.cer,*.inc\" (默认: Config.ini 的 MonType "
    "所选类型)\n"
    "  --delete-new     删除新建的相符文件 (默认: Config.ini 的 DelNewFile)\n"
    "  --keep-new       不删除新建文件\n"
    "  --rules 目录     Web后门规则目录 (默认: 管理程序目录的 Murrow/rules, 否则本程序旁的 rules)\n"
    "  --no-scan        不检查Web后门\n"
    "有规则时, 每个新建、修改或改名为相符名称的文件随即用Web后门规则检查, 发现后门打印一行\n"
    "\"发现Web后门 路径 [规则] 时间:...\"; 删除新建文件时, 新建文件移入隔离区 Murrow/Quarantine\n"
    "(记下原路径, 可在 Murrow.exe 中恢复), 而不是删除。\n"
    "变化多到系统来不及记录时打印一行\"丢失\", 这时请做篡改检查。监控日志本身的写入不报告。\n"
    "退出码: 0 按 Ctrl+C 结束; 2 用法错误、目录不存在或没有掩码。\n";

int Usage(const std::string& message) {
  PrintForPeople(stderr, "zelkwaf-manager: " + message + "\n请用 --help 查看用法。\n");
  return kMonitorExitUsage;
}

// The monitor page of a terminal: the values come from the command line, the
// list is standard output, nothing is saved.
class TerminalMonitorPage : public MonitorPage {
 public:
  TerminalMonitorPage(std::string dir, std::string masks, bool delete_new)
      : dir_(std::move(dir)), masks_(std::move(masks)), delete_new_(delete_new) {}
  std::string MonitorDirText() override { return dir_; }
  void SetMonitorDirText(const std::string& dir) override { dir_ = dir; }
  std::string MonitorMaskText() override { return masks_; }
  bool DeleteNewFilesChecked() override { return delete_new_; }
  void SetMonitorButtonCaption(const std::string&) override {}
  void InsertMonitorLine(const std::string& line) override { PrintForPeople(stdout, line + "\n"); }
  void SaveMonitorSettings() override {}
  void ShowMonitorNotice(const std::string& text) override { PrintForPeople(stderr, text + "\n"); }

 private:
  std::string dir_, masks_;
  bool delete_new_;
};

}  // namespace

int RunMonitorCommand(const std::vector<std::string>& args, const ManagerPaths& paths,
                      const ManagerSettings& config) {
  std::string dir = config.MonDir;
  std::string masks = MonTypeMask(config.MonType);
  bool delete_new = config.DelNewFile;
  std::string rules_dir = ManagerRulesDir(paths);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintForPeople(stdout, kUsage);
      return kMonitorExitOk;
    } else if (a == "--dir" || a == "--types" || a == "--rules") {
      if (i + 1 >= args.size()) return Usage(a + " 需要一个值");
      (a == "--dir" ? dir : a == "--types" ? masks : rules_dir) = platform::FromTerminal(args[++i]);
    } else if (a == "--no-scan") {
      rules_dir.clear();
    } else if (a == "--delete-new") {
      delete_new = true;
    } else if (a == "--keep-new") {
      delete_new = false;
    } else {
      return Usage("未知的参数: " + platform::FromTerminal(a));
    }
  }
  dir = std::string(TrimBlanksAndControls(dir));
  if (dir.empty() || !platform::DirectoryExists(dir)) {
    PrintForPeople(stderr, "zelkwaf-manager: 选择的目录不存在请重试: " + dir + "\n");
    return kMonitorExitUsage;
  }
  if (SplitMaskList(masks).empty() || TrimBlanksAndControls(masks).empty()) {
    return Usage("没有监控类型 (--types)");
  }
  // Absolute, as the manager folder is, so that the paths the watcher reports
  // and the monitor log's own path are spelled alike and the monitor
  // recognises its own writes.
  dir = platform::AbsolutePath(dir);
  CreateManagerFolders(paths);

  // Shared with the interrupt thread, which may outlive this call.
  auto loop = std::make_shared<EventLoop>();
  cli::TerminalUi ui;
  TerminalMonitorPage page(dir, masks, delete_new);
  SiteMonitor monitor(*loop, ui, page, paths.MonitorLogPath);
  monitor.SetBackdoorCheck(rules_dir, paths.QuarantineDir);
  if (!monitor.Start(dir, masks, delete_new)) {
    PrintForPeople(stderr, "zelkwaf-manager: 选择的目录不存在请重试: " + dir + "\n");
    return kMonitorExitUsage;
  }
  std::string scan;
  if (monitor.backdoor_rule_count() > 0) {
    scan = ", 检查Web后门 (规则 " + std::to_string(monitor.backdoor_rule_count()) + " 条" +
           (delete_new ? ", 新建文件移入 " + paths.QuarantineDir : std::string()) + ")";
  } else if (delete_new) {
    scan = " (删除新建文件)";
  }
  PrintForPeople(stderr,
                 std::string("开始监控 ") + dir + " 类型 " + masks + scan + ", 按 Ctrl+C 结束。\n");
  platform::CallOnInterrupt([loop] { loop->Quit(); });
  loop->Run();
  monitor.Stop();
  PrintForPeople(stderr, "监控已停止。\n");
  return kMonitorExitOk;
}

}  // namespace zelk::manager
