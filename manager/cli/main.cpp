// zelkwaf-manager: the manager's functions without a window, for
// administrators who script them (a nightly tamper check, say) and for tests.
// It works on a manager folder and takes its defaults from that folder's
// "Config.ini", exactly as the window's pages would show them.
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "manager/cli/iis_commands.h"
#include "manager/cli/monitor_command.h"
#include "manager/cli/terminal_ui.h"
#include "manager/common/errors.h"
#include "manager/common/paths.h"
#include "manager/iis/settings_store.h"
#include "manager/snapshot/snapshot.h"
#include "manager/snapshot/tamper_check.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"

namespace {

namespace mgr = zelk::manager;
using mgr::cli::PrintForPeople;
using zelk::platform::FromTerminal;

constexpr int kExitOk = 0;
constexpr int kExitFindings = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "用法: zelkwaf-manager [--home 目录] 命令 [参数]\n"
    "\n"
    "在管理程序目录(默认: 本程序所在目录)上执行管理程序的功能, 默认值取自该目录的 Config.ini。\n"
    "\n"
    "命令:\n"
    "  settings                    列出 ZelkWAF.ini 与 Config.ini 的每个键及其生效值\n"
    "  settings set 键=值...       写入两个设置文件中的键\n"
    "  whitelist list|add 路径|del 路径\n"
    "                              查看或编辑 URL 白名单 (IIS/ZelkWAF.dst)\n"
    "  snapshot [选项]             提取特征: 为目录写快照文件\n"
    "  check [--snapshot 文件]     篡改检查: 按快照文件检查文件是否被修改或删除\n"
    "  compare 新快照 旧快照       快照对比: 找出新快照中新建的文件\n"
    "  status                      显示过滤模块在 IIS 中的安装状态\n"
    "  install | uninstall         把 IIS/ZelkWAF.dll 安装到 IIS 或从 IIS 卸载\n"
    "  monitor [选项]              网站监控: 打印并记录目录中的变化, 直到按 Ctrl+C\n"
    "\n"
    "每个命令都有 --help。发现的问题追加到篡改日志 Log/newlog.txt 并打印。\n"
    "退出码: 0 成功; 1 发现问题(check、compare)、未安装(status)或操作失败(install、uninstall);\n"
    "2 用法或输入错误。\n";

const char kSettingsUsage[] =
    "用法: zelkwaf-manager [--home 目录] settings\n"
    "      zelkwaf-manager [--home 目录] settings set 键=值...\n"
    "\n"
    "不带参数时按 INI 格式列出两个设置文件的每个键及其生效值(缺省值已代入):\n"
    "[ZelkWAF] 下 17 个键 (IIS/ZelkWAF.ini), [Config] 下 10 个键 (Config.ini)。\n"
    "set 写入一个或多个键; 键名不区分大小写。开关取 0 或 1, 整数取列表中的位置\n"
    "(MonType 0-3, ChkType 0-4, ChkSizeNum 0-4, -1 表示未选择)。有任何键未知或值无效时\n"
    "什么也不写。被写的文件的所有键都会写入。\n";

const char kWhitelistUsage[] =
    "用法: zelkwaf-manager [--home 目录] whitelist list\n"
    "      zelkwaf-manager [--home 目录] whitelist add 路径\n"
    "      zelkwaf-manager [--home 目录] whitelist del 路径\n"
    "\n"
    "list 每行列出一个条目; add 把路径(相对于网站根目录, 如 /admin/add.asp)插入为第一条;\n"
    "del 删除与路径完全相同的第一条。\n";

const char kSnapshotUsage[] =
    "用法: zelkwaf-manager [--home 目录] snapshot [--dir 目录] [--out 文件] [--types 掩码]\n"
    "                       [--max-size 1M|5M|10M|50M|100M] [--overwrite | --append]\n"
    "\n"
    "遍历目录, 为名称符合掩码且不超过大小限制的每个文件向快照文件追加一行:\n"
    "路径,大小,创建时间,修改时间。\n"
    "\n"
    "  --dir 目录       检查目录(默认: Config.ini 的 ChkDir)\n"
    "  --out 文件       快照文件(默认: Config.ini 的 ChkLog)\n"
    "  --types 掩码     限定文件类型, 逗号分隔(默认: ChkType 所选的项, 如 *.asp,*.asa,*.inc)\n"
    "  --max-size 大小  文件最大大小(默认: ChkSizeNum 所选的项)\n"
    "  --overwrite      快照文件已存在时覆盖\n"
    "  --append         快照文件已存在时追加\n"
    "\n"
    "快照文件已存在而两者都未给出时, 在终端上询问; 不在终端上时拒绝执行。\n";

const char kCheckUsage[] =
    "用法: zelkwaf-manager [--home 目录] check [--snapshot 文件]\n"
    "\n"
    "按快照文件(默认: Config.ini 的 ChkLog)检查每个文件: 大小或时间改变的记为\n"
    "\"文件已经被修改\", 不存在的记为\"文件已经被删除\"。发现的问题追加到篡改日志并打印。\n"
    "退出码: 0 未发现问题; 1 发现问题; 2 快照文件无法读取或用法错误。\n";

const char kCompareUsage[] =
    "用法: zelkwaf-manager [--home 目录] compare 新快照 旧快照\n"
    "\n"
    "两个快照文件须以相同规则在不同时间制作。新快照中在旧快照里没有相同行(不区分大小写)的\n"
    "每一行记为\"新建的文件\", 追加到篡改日志并打印。\n"
    "退出码: 0 未发现可疑项; 1 发现新建的文件; 2 文件无法读取或用法错误。\n";

int UsageError(const std::string& message) {
  PrintForPeople(stderr, "zelkwaf-manager: " + message + "\n请用 --help 查看用法。\n");
  return kExitUsage;
}

int InputError(const std::string& message) {
  PrintForPeople(stderr, "zelkwaf-manager: " + message + "\n");
  return kExitUsage;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

struct Context {
  mgr::ManagerPaths paths;
  mgr::ManagerSettings config;
};

int Settings(Context& ctx, const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      PrintForPeople(stdout, kSettingsUsage);
      return kExitOk;
    }
  }
  zelk::filter::FilterSettings filter = mgr::LoadFilterSettings(ctx.paths.FilterIniPath);
  if (args.empty()) {
    std::string out = "[ZelkWAF]\n";
    for (const auto& [k, v] : mgr::FilterSettingsAsText(filter)) out += k + "=" + v + "\n";
    out += "[Config]\n";
    for (const auto& [k, v] : mgr::ManagerSettingsAsText(ctx.config)) out += k + "=" + v + "\n";
    PrintForPeople(stdout, out);
    return kExitOk;
  }
  if (args[0] != "set") return UsageError("未知的 settings 子命令: " + FromTerminal(args[0]));
  if (args.size() < 2) return UsageError("settings set 需要至少一个 键=值");
  bool filter_changed = false, config_changed = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string arg = FromTerminal(args[i]);
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos || eq == 0) return UsageError("应为 键=值: " + arg);
    const std::string key = arg.substr(0, eq), value = arg.substr(eq + 1);
    try {
      if (mgr::SetFilterSetting(&filter, key, value)) {
        filter_changed = true;
      } else if (mgr::SetManagerSetting(&ctx.config, key, value)) {
        config_changed = true;
      } else {
        return UsageError("未知的键: " + key);
      }
    } catch (const mgr::ManagerError& e) {
      return UsageError(e.what());
    }
  }
  mgr::CreateManagerFolders(ctx.paths);
  try {
    if (filter_changed) mgr::SaveFilterSettings(ctx.paths.FilterIniPath, filter);
    if (config_changed) mgr::SaveManagerSettings(ctx.paths.ConfigIniPath, ctx.config);
  } catch (const mgr::ManagerError& e) {
    return InputError(e.what());
  }
  return kExitOk;
}

int Whitelist(Context& ctx, const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("whitelist 需要 list、add 或 del");
  if (IsHelp(args[0]) || (args.size() > 1 && IsHelp(args[1]))) {
    PrintForPeople(stdout, kWhitelistUsage);
    return kExitOk;
  }
  const std::string& sub = args[0];
  std::vector<std::string> entries;
  try {
    mgr::LoadUrlList(ctx.paths.UrlListPath, &entries);
    if (sub == "list") {
      if (args.size() != 1) return UsageError("whitelist list 不带参数");
      std::string out;
      for (const std::string& e : entries) out += e + "\n";
      PrintForPeople(stdout, out);
      return kExitOk;
    }
    if (sub != "add" && sub != "del")
      return UsageError("未知的 whitelist 子命令: " + FromTerminal(sub));
    if (args.size() != 2) return UsageError("whitelist " + sub + " 需要一个路径");
    const std::string path = FromTerminal(args[1]);
    if (path.find_first_of("\r\n") != std::string::npos) return UsageError("路径不能包含换行");
    if (sub == "add") {
      mgr::AddUrlEntry(&entries, path);
    } else {
      std::size_t i = 0;
      while (i < entries.size() && entries[i] != path) ++i;
      if (i == entries.size()) return InputError("白名单中没有这一行: " + path);
      entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
    mgr::CreateManagerFolders(ctx.paths);
    mgr::SaveUrlList(ctx.paths.UrlListPath, entries);
  } catch (const mgr::ManagerError& e) {
    return InputError(e.what());
  }
  return kExitOk;
}

int Snapshot(Context& ctx, const std::vector<std::string>& args) {
  mgr::SnapshotJob job;
  job.dir = ctx.config.ChkDir;
  job.snapshot_path = ctx.config.ChkLog;
  job.mask_text = mgr::ChkTypeMask(ctx.config.ChkType);
  job.size_limit_mib = mgr::ChkSizeLimitMiB(ctx.config.ChkSizeNum);
  std::optional<bool> overwrite;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) return false;
      *out = FromTerminal(args[++i]);
      return true;
    };
    std::string v;
    if (IsHelp(a)) {
      PrintForPeople(stdout, kSnapshotUsage);
      return kExitOk;
    } else if (a == "--dir") {
      if (!value(&job.dir)) return UsageError("--dir 需要一个目录");
    } else if (a == "--out") {
      if (!value(&job.snapshot_path) || job.snapshot_path.empty())
        return UsageError("--out 需要一个文件");
    } else if (a == "--types") {
      if (!value(&job.mask_text)) return UsageError("--types 需要掩码, 如 *.asp,*.asa,*.inc");
    } else if (a == "--max-size") {
      if (!value(&v)) return UsageError("--max-size 需要 1M、5M、10M、50M 或 100M");
      int found = -1;
      for (std::size_t k = 0; k < mgr::kChkSizeItems.size(); ++k) {
        if (v == mgr::kChkSizeItems[k]) found = static_cast<int>(k);
      }
      if (found < 0) return UsageError("文件最大大小无效: " + v + " (可选 1M、5M、10M、50M、100M)");
      job.size_limit_mib = mgr::ChkSizeLimitMiB(found);
    } else if (a == "--overwrite" || a == "--append") {
      const bool want = a == "--overwrite";
      if (overwrite && *overwrite != want) return UsageError("--overwrite 与 --append 只能选一个");
      overwrite = want;
    } else {
      return UsageError("未知的参数: " + FromTerminal(a));
    }
  }
  mgr::cli::TerminalUi ui;
  zelk::platform::DirEntry existing;
  const bool exists =
      zelk::platform::FindFile(job.snapshot_path, &existing) && !existing.is_directory;
  if (exists && !overwrite &&
      !(zelk::platform::IsTerminal(stdin) && zelk::platform::IsTerminal(stderr))) {
    return InputError("快照文件已经存在: " + job.snapshot_path +
                      "\n请用 --overwrite 覆盖或 --append 追加。");
  }
  ui.set_answer(overwrite);
  const mgr::SnapshotOutcome outcome = mgr::RunSnapshotExtraction(job, ui);
  ui.EndProgress();
  if (!outcome.started || outcome.failed) return kExitUsage;
  PrintForPeople(stdout, mgr::SnapshotDoneText(outcome.lines) + "\n");
  return kExitOk;
}

int PrintFindings(const mgr::FindingsOutcome& outcome) {
  std::string out;
  for (const std::string& line : outcome.log_lines) out += line + "\n";
  PrintForPeople(stdout, out);
  if (outcome.failed) return kExitUsage;
  return outcome.findings > 0 ? kExitFindings : kExitOk;
}

int Check(Context& ctx, const std::vector<std::string>& args) {
  std::string snapshot = ctx.config.ChkLog;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (IsHelp(args[i])) {
      PrintForPeople(stdout, kCheckUsage);
      return kExitOk;
    } else if (args[i] == "--snapshot") {
      if (i + 1 >= args.size()) return UsageError("--snapshot 需要一个文件");
      snapshot = FromTerminal(args[++i]);
    } else {
      return UsageError("未知的参数: " + FromTerminal(args[i]));
    }
  }
  mgr::CreateManagerFolders(ctx.paths);
  mgr::cli::TerminalUi ui;
  const mgr::FindingsOutcome outcome = mgr::RunTamperCheck(snapshot, ctx.paths.TamperLogPath, ui);
  const int rc = PrintFindings(outcome);
  if (!outcome.failed) PrintForPeople(stdout, mgr::CheckDoneText(outcome.findings) + "\n");
  return rc;
}

int Compare(Context& ctx, const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (IsHelp(a)) {
      PrintForPeople(stdout, kCompareUsage);
      return kExitOk;
    }
    if (a.size() > 1 && a[0] == '-') return UsageError("未知的参数: " + FromTerminal(a));
    files.push_back(FromTerminal(a));
  }
  if (files.size() != 2) return UsageError("compare 需要两个快照文件: 新快照 旧快照");
  mgr::CreateManagerFolders(ctx.paths);
  mgr::cli::TerminalUi ui;
  return PrintFindings(mgr::CompareSnapshotFiles(files[0], files[1], ctx.paths.TamperLogPath, ui));
}

}  // namespace

int main(int argc, char** argv) try {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string home;
  bool have_home = false;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    if (IsHelp(args[i])) {
      PrintForPeople(stdout, kUsage);
      return kExitOk;
    } else if (args[i] == "--home") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return UsageError("--home 需要一个目录");
      home = FromTerminal(args[++i]);
      have_home = true;
    } else {
      break;
    }
  }
  if (i >= args.size()) return UsageError("缺少命令");
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                      args.end());

  Context ctx;
  ctx.paths = have_home ? mgr::AbsoluteManagerPaths(home) : mgr::ExecutableManagerPaths();
  if (have_home && !zelk::platform::DirectoryExists(ctx.paths.ManagerDir)) {
    return InputError("管理程序目录不存在: " + home);
  }
  ctx.config = mgr::LoadManagerSettings(ctx.paths.ConfigIniPath);

  if (command == "settings") return Settings(ctx, rest);
  if (command == "whitelist") return Whitelist(ctx, rest);
  if (command == "snapshot") return Snapshot(ctx, rest);
  if (command == "check") return Check(ctx, rest);
  if (command == "compare") return Compare(ctx, rest);
  if (command == "monitor") return mgr::RunMonitorCommand(rest, ctx.paths, ctx.config);
  if (mgr::IsIisCommand(command)) {
    mgr::cli::TerminalUi ui;
    return mgr::RunIisCommandOnSystem(command, rest, ctx.paths, ui);
  }
  return UsageError("未知的命令: " + FromTerminal(command));
} catch (const std::exception& e) {
  PrintForPeople(stderr, std::string("zelkwaf-manager: ") + e.what() + "\n");
  return kExitUsage;
}
