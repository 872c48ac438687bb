// Installing the filter module into IIS, taking it out again and asking for an
// IIS restart: the procedures behind the main page's three buttons, written
// over small interfaces so that the window, the command-line tool and the
// tests each supply their own surroundings.
//
// The shortcut and automatic-start operations the procedures (and the
// system-settings page) use live here too, over interfaces whose Windows
// implementations are the shell-link object and the registry.
//
// Everything runs on the caller's thread and blocks it; nothing is locked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "manager/common/paths.h"
#include "manager/common/ui.h"
#include "manager/iis/metabase.h"

namespace zelk::manager {

inline constexpr char kFilterName[] = "ZeLkWAF";
inline constexpr char kFilterDescription[] = "1.0";

inline constexpr char kStateInstalled[] = "已安装";
inline constexpr char kStateNotInstalled[] = "未安装";

inline constexpr char kMsgModuleMissing[] = "请检查当前程序IIS目录下是否存在ZelkWAF.dll";
inline constexpr char kMsgInstallFailed[] = "操作失败 请确认IIS是否正常工作";
inline constexpr char kMsgInstallDone[] = "安装操作已经完成,请勿移动当前程序IIS目录中的数据。";
inline constexpr char kMsgUninstallDone[] = "卸载操作已经完成! 如需删除残留文件请重启IIS后操作";
inline constexpr char kMsgUninstallFailed[] = "操作失败 请确认IIS是否正常工作,或者防火墙已经卸载.";

// What the procedures need from the manager around them. Methods that may
// throw say so; whatever they throw ends the procedure where it stands and
// reaches the caller (the window shows it in its general error box).
class RegistrationHost {
 public:
  virtual ~RegistrationHost() = default;
  virtual Metabase& metabase() = 0;
  // FilterDllPath, FilterIniPath, UrlListPath and FilterLogPath are used.
  virtual const ManagerPaths& paths() = 0;
  // Messages go to ui().MsgBox.
  virtual ManagerUi& ui() = 0;
  // Sets the installation-state label lblState.
  virtual void SetStateLabel(const std::string& text) = 0;
  // Write what the settings pages show (SaveFilterSettings and SaveUrlList of
  // settings_store.h); throw ManagerError when a file cannot be written.
  virtual void SaveFilterSettings() = 0;
  virtual void SaveUrlList() = 0;
  // GrantFileAccess (access_grant.h) on the real system.
  virtual bool GrantFileAccess(const std::string& account, const std::string& path,
                               std::uint32_t mask) = 0;
  // SetShortcuts below with the real shell; throws ManagerError when no shell
  // link can be made.
  virtual void SetShortcuts(bool create) = 0;
};

enum class InstallOutcome { kModuleMissing, kRegistrationFailed, kInstalled };

// Registers the module at FilterDllPath (after clearing
// any earlier registration), grants the web server access to the four files,
// writes the settings files when missing, creates the empty event log, adds
// the extension record and the wildcard script maps, creates the shortcuts,
// tells the user, and finally sets the label when the filter is registered.
InstallOutcome InstallFilterModule(RegistrationHost& host);

// Deletes the shortcuts, the extension record, the script
// maps and the registration, tells the user, and sets the label when the
// filter is no longer registered. Files and grants stay. True when the
// registration was removed.
bool UninstallFilterModule(RegistrationHost& host);

// Starting a program through the shell (ShellExecuteA); the outcome is not
// reported.
class ShellLauncher {
 public:
  virtual ~ShellLauncher() = default;
  virtual void ShellExecute(const std::string& verb, const std::string& file,
                            const std::string& parameters, const std::string& directory,
                            int show_command) = 0;
};

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

// Runs "iisreset" with " /restart", not waited for.
void RestartIis(ShellLauncher& shell);

// Desktop and start-menu shortcuts ----------------------------------------

inline constexpr char kShortcutName[] = "ZelkWEB应用防火墙";

// A shell-link object (IShellLinkA + IPersistFile).
class ShellLink {
 public:
  virtual ~ShellLink() = default;
  virtual void SetPath(const std::string& path) = 0;
  virtual void SetWorkingDirectory(const std::string& dir) = 0;
  virtual void SetDescription(const std::string& text) = 0;
  // IPersistFile::Save(path, remember); the outcome is not examined.
  virtual void Save(const std::u16string& path, bool remember) = 0;
};

class ShortcutPlatform {
 public:
  virtual ~ShortcutPlatform() = default;
  // The value under the user's "Shell Folders" key ("Desktop", "Start
  // Menu"); empty when missing.
  virtual std::string ShellFolder(const std::string& value_name) = 0;
  // Throws ManagerError when the object or one of its interfaces
  // cannot be had.
  virtual std::unique_ptr<ShellLink> CreateShellLink() = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual void DeleteFile(const std::string& path) = 0;
};

// The shortcut's path in a shell folder: folder + "\" + name + ".lnk".
std::string ShortcutPath(const std::string& folder);

// SetShortcuts: create (or overwrite) or delete the shortcut on the desktop and
// at the top of the start menu. A shell folder the system does not name is
// passed over, rather than putting the shortcut at the root of the drive.
void SetShortcuts(ShortcutPlatform& platform, bool create, const std::string& exe_path,
                  const std::string& manager_dir);

// Automatic start -----------------------------------------------------------

inline constexpr char kRunValueName[] = "ZeLkWP";

// The machine-wide Run key (HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run).
class RunKey {
 public:
  virtual ~RunKey() = default;
  // Opens with full access, creating the key when missing.
  virtual bool Open() = 0;
  virtual bool SetString(const std::string& name, const std::string& value) = 0;
  virtual bool DeleteValue(const std::string& name) = 0;
  virtual void Close() = 0;
};

// SetAutoRun: "ZeLkWP" = the executable's path (no quotes), or the value
// deleted. Throws ManagerError("Failed to set data for 'ZeLkWP'") when
// the value cannot be written; a failed delete is silent.
void SetAutoRun(RunKey& key, bool enable, const std::string& exe_path);

}  // namespace zelk::manager
