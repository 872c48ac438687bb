#include "manager/cli/iis_commands.h"

#include <exception>
#include <iostream>

#include "manager/common/paths.h"
#include "manager/iis/access_grant.h"
#include "manager/iis/install.h"
#include "manager/iis/settings_store.h"
#include "manager/iis/system_metabase.h"
#include "platform/appendfile.h"
#include "platform/codepage.h"

namespace zelk::manager {

namespace {

constexpr char kProgram[] = "zelkwaf-manager";
constexpr char kStateCaption[] = "安装状态: ";

void Print(std::ostream& to, const std::string& gbk) {
  to << platform::ForTerminal(gbk) << '\n';
  to.flush();
}

// The command-line tool has no desktop of its own: no shell folder is named,
// so SetShortcuts writes and deletes nothing.
class NoShellFolders : public ShortcutPlatform {
 public:
  std::string ShellFolder(const std::string&) override { return ""; }
  std::unique_ptr<ShellLink> CreateShellLink() override { return std::make_unique<UnsavedLink>(); }
  bool FileExists(const std::string&) override { return false; }
  void DeleteFile(const std::string&) override {}

 private:
  struct UnsavedLink : ShellLink {
    void SetPath(const std::string&) override {}
    void SetWorkingDirectory(const std::string&) override {}
    void SetDescription(const std::string&) override {}
    void Save(const std::u16string&, bool) override {}
  };
};

// The window's part in the procedures, played from the files: the settings
// pages would show what is stored (or the defaults), so that is what gets
// saved when the settings file is missing.
class CommandHost : public RegistrationHost {
 public:
  CommandHost(Metabase& metabase, const ManagerPaths& paths, ManagerUi& ui)
      : metabase_(metabase), paths_(paths), ui_(ui) {}

  std::string label = kStateNotInstalled;

  Metabase& metabase() override { return metabase_; }
  const ManagerPaths& paths() override { return paths_; }
  ManagerUi& ui() override { return ui_; }
  void SetStateLabel(const std::string& text) override { label = text; }
  void SaveFilterSettings() override {
    manager::SaveFilterSettings(paths_.FilterIniPath, LoadFilterSettings(paths_.FilterIniPath));
  }
  void SaveUrlList() override {
    std::vector<std::string> entries;
    LoadUrlList(paths_.UrlListPath, &entries);
    manager::SaveUrlList(paths_.UrlListPath, entries);
  }
  bool GrantFileAccess(const std::string& account, const std::string& path,
                       std::uint32_t mask) override {
    return manager::GrantFileAccess(account, path, mask);
  }
  void SetShortcuts(bool create) override {
    NoShellFolders shell;
    manager::SetShortcuts(shell, create, paths_.ManagerDir + "ZelkWAF.exe", paths_.ManagerDir);
  }

 private:
  Metabase& metabase_;
  const ManagerPaths& paths_;
  ManagerUi& ui_;
};

int UsageError(std::ostream& err, const std::string& message) {
  Print(err, std::string(kProgram) + ": " + message + "\n请用 --help 查看用法。");
  return kIisExitUsage;
}

}  // namespace

bool IsIisCommand(const std::string& command) {
  return command == "status" || command == "install" || command == "uninstall";
}

std::string IisCommandsUsage() {
  return "用法: zelkwaf-manager [--home 目录] status\n"
         "      zelkwaf-manager [--home 目录] install\n"
         "      zelkwaf-manager [--home 目录] uninstall\n"
         "\n"
         "status 显示过滤模块在 IIS 中的安装状态; install 把管理程序目录下 IIS 目录中的\n"
         "ZelkWAF.dll 就地安装到 IIS(ISAPI 筛选器、Web 服务扩展、通配符脚本映射), 并让 IIS\n"
         "能读取其文件; uninstall 从 IIS 卸载。安装和卸载须重启 IIS 后生效;\n"
         "没有 IIS 的系统上安装失败。\n"
         "退出码: 0 已安装(status) 或操作完成; 1 未安装(status) 或操作失败; 2 用法错误。\n";
}

int RunIisCommand(const std::string& command, const std::vector<std::string>& args,
                  Metabase& metabase, const ManagerPaths& paths, ManagerUi& ui, std::ostream& out,
                  std::ostream& err) {
  if (!IsIisCommand(command)) return UsageError(err, "未知的命令: " + command);
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      out << platform::ForTerminal(IisCommandsUsage());
      return kIisExitOk;
    }
    return UsageError(err, "未知的参数: " + platform::FromTerminal(arg));
  }

  CommandHost host(metabase, paths, ui);
  // What the window's show sequence does before any button can be pressed.
  if (IsIisFilterInstalled(metabase, kFilterName)) host.label = kStateInstalled;
  if (command == "status") {
    Print(out, kStateCaption + host.label);
    return host.label == kStateInstalled ? kIisExitOk : kIisExitFailed;
  }

  CreateManagerFolders(paths);
  try {
    bool done;
    if (command == "install") {
      done = InstallFilterModule(host) == InstallOutcome::kInstalled;
    } else {
      done = UninstallFilterModule(host);
    }
    Print(out, kStateCaption + host.label);
    return done ? kIisExitOk : kIisExitFailed;
  } catch (const std::exception& e) {
    // What the window's general error box would show; the steps after the
    // failure did not run.
    ui.ShowError(e.what());
    return kIisExitFailed;
  }
}

int RunIisCommandOnSystem(const std::string& command, const std::vector<std::string>& args,
                          const ManagerPaths& paths, ManagerUi& ui) {
  const std::unique_ptr<Metabase> metabase = MakeSystemMetabase();
  return RunIisCommand(command, args, *metabase, paths, ui, std::cout, std::cerr);
}

}  // namespace zelk::manager
