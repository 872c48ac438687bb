#include "manager/iis/install.h"

#include "manager/common/errors.h"
#include "manager/iis/access_grant.h"
#include "platform/appendfile.h"
#include "platform/codepage.h"
#include "platform/files.h"

namespace zelk::manager {

InstallOutcome InstallFilterModule(RegistrationHost& host) {
  const ManagerPaths& paths = host.paths();
  Metabase& metabase = host.metabase();
  InstallOutcome outcome = InstallOutcome::kInstalled;

  if (!platform::FileExists(paths.FilterDllPath)) {
    host.ui().MsgBox(kMsgModuleMissing, kMsgBoxWarning);
    outcome = InstallOutcome::kModuleMissing;
  } else {
    // Clears an earlier registration, also one made from another folder.
    RemoveIisFilter(metabase, kFilterName);
    if (!AddIisFilter(metabase, kFilterName, paths.FilterDllPath, kFilterDescription)) {
      host.ui().MsgBox(kMsgInstallFailed, kMsgBoxWarning);
      outcome = InstallOutcome::kRegistrationFailed;
    } else {
      host.GrantFileAccess(kEveryone, paths.FilterDllPath, kGenericRead | kGenericExecute);
      if (!platform::FileExists(paths.FilterIniPath)) {
        host.SaveFilterSettings();
        host.SaveUrlList();
      }
      if (!platform::FileExists(paths.FilterLogPath)) {
        std::string error;  // a log that cannot be made shows up in the grant below
        platform::AppendToFile(paths.FilterLogPath, "", &error);
      }
      SetWebServiceExtension(metabase, ExtensionOperation::kDeleteRecord, paths.FilterDllPath);
      SetWebServiceExtension(metabase, ExtensionOperation::kAdd, paths.FilterDllPath);
      SetServiceScriptMap(metabase, ScriptMapMode::kAdd, paths.FilterDllPath);
      SetAllSitesScriptMap(metabase, true, paths.FilterDllPath);
      host.GrantFileAccess(kEveryone, paths.FilterIniPath, kGenericRead);
      host.GrantFileAccess(kEveryone, paths.UrlListPath, kGenericRead);
      host.GrantFileAccess(kEveryone, paths.FilterLogPath, kGenericRead | kGenericWrite);
      host.SetShortcuts(true);
      host.ui().MsgBox(kMsgInstallDone, kMsgBoxInformation);
    }
  }

  if (IsIisFilterInstalled(metabase, kFilterName)) host.SetStateLabel(kStateInstalled);
  return outcome;
}

bool UninstallFilterModule(RegistrationHost& host) {
  const ManagerPaths& paths = host.paths();
  Metabase& metabase = host.metabase();

  host.SetShortcuts(false);
  SetWebServiceExtension(metabase, ExtensionOperation::kDeleteRecord, paths.FilterDllPath);
  SetServiceScriptMap(metabase, ScriptMapMode::kRemove, paths.FilterDllPath);
  SetAllSitesScriptMap(metabase, false, paths.FilterDllPath);
  const bool removed = RemoveIisFilter(metabase, kFilterName);
  if (removed) {
    host.ui().MsgBox(kMsgUninstallDone, kMsgBoxInformation);
  } else {
    host.ui().MsgBox(kMsgUninstallFailed, kMsgBoxWarning);
  }
  if (!IsIisFilterInstalled(metabase, kFilterName)) host.SetStateLabel(kStateNotInstalled);
  return removed;
}

void RestartIis(ShellLauncher& shell) {
  shell.ShellExecute("open", "iisreset", " /restart", "", kShowNormal);
}

std::string ShortcutPath(const std::string& folder) {
  return folder + "\\" + kShortcutName + ".lnk";
}

void SetShortcuts(ShortcutPlatform& platform, bool create, const std::string& exe_path,
                  const std::string& manager_dir) {
  static const char* const kFolders[] = {"Desktop", "Start Menu"};
  if (create) {
    auto link = platform.CreateShellLink();
    link->SetPath(exe_path);
    link->SetWorkingDirectory(manager_dir);
    link->SetDescription(kShortcutName);
    for (const char* name : kFolders) {
      const std::string folder = platform.ShellFolder(name);
      if (!folder.empty()) link->Save(platform::GbkToUtf16(ShortcutPath(folder)), false);
    }
    return;
  }
  for (const char* name : kFolders) {
    const std::string folder = platform.ShellFolder(name);
    if (folder.empty()) continue;
    const std::string path = ShortcutPath(folder);
    if (platform.FileExists(path)) platform.DeleteFile(path);
  }
}

void SetAutoRun(RunKey& key, bool enable, const std::string& exe_path) {
  key.Open();  // a key that could not be opened fails the write below
  bool written = true;
  if (enable) {
    written = key.SetString(kRunValueName, exe_path);
  } else {
    key.DeleteValue(kRunValueName);
  }
  key.Close();
  if (!written) throw ManagerError(std::string("Failed to set data for '") + kRunValueName + "'");
}

}  // namespace zelk::manager
