// The Windows shell and registry services of the manager's window: the
// automatic-start value, the desktop and start-menu shortcuts, opening logs,
// starting programs, the folder picker and the open and save dialogs.
//
// All on the window's thread, which has COM initialised as a single-threaded
// apartment (the shell-link object and the folder picker need it). Texts are
// GBK; the A functions of the API are used throughout.
#pragma once

#include <memory>
#include <string>

#include "manager/common/ui.h"
#include "manager/iis/install.h"
#include "manager/shell/win32.h"

namespace zelk::manager::shell {

// Full path of the running executable.
std::string ExecutablePath();

// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run.
// Neither copied nor moved: it owns the open key, which a copy would close
// a second time.
class RegistryRunKey final : public RunKey {
 public:
  RegistryRunKey() = default;
  ~RegistryRunKey() override { Close(); }
  RegistryRunKey(const RegistryRunKey&) = delete;
  RegistryRunKey& operator=(const RegistryRunKey&) = delete;
  bool Open() override;
  bool SetString(const std::string& name, const std::string& value) override;
  bool DeleteValue(const std::string& name) override;
  void Close() override;

 private:
  HKEY key_ = nullptr;
};

// Shell folders from HKEY_CURRENT_USER\...\Explorer\Shell Folders and the
// shell-link object (IShellLinkA + IPersistFile), created per call.
class Win32ShortcutPlatform final : public ShortcutPlatform {
 public:
  std::string ShellFolder(const std::string& value_name) override;
  std::unique_ptr<ShellLink> CreateShellLink() override;
  bool FileExists(const std::string& path) override;
  void DeleteFile(const std::string& path) override;
};

class Win32ShellLauncher final : public ShellLauncher {
 public:
  void ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                    const std::string& directory, int show_command) override;
};

// ShellExecuteA "open" on a log, no owner, normal window; nothing is checked
// and nothing reported.
void OpenLog(const std::string& path);

// WinExec of a program in the normal window mode; the path is quoted when it
// holds a space. The result is not examined.
void StartProgram(const std::string& program_path);

// The folder picker: rooted at the desktop, file-system folders only, with an
// edit field; a typed folder that does not exist is created after asking.
// False when cancelled.
bool PickFolder(HWND owner, const std::string& title, std::string* folder);

// The standard open or save dialog; the filter text is the manager's
// "Name|*.ext|Name|*.*" form. False when cancelled.
bool PickFile(HWND owner, const FileDialog& dialog, std::string* path);

// "Text File(*.txt)|*.txt|All File(*.*)|*.*" -> the dialog's double-zero list.
std::string DialogFilter(const std::string& manager_filter);

}  // namespace zelk::manager::shell
