// The manager's path set: its folder, the eight files every page uses and
// the scanner's two folders,
// built by plain concatenation (nothing normalised, quoted or tested).
#pragma once

#include <string>

namespace zelk::manager {

struct ManagerPaths {
  std::string ManagerDir;  // with its trailing separator
  std::string FilterDllPath;
  std::string FilterLogPath;
  std::string FilterIniPath;
  std::string UrlListPath;
  std::string ConfigIniPath;
  std::string TamperLogPath;
  std::string MonitorLogPath;
  std::string ScannerLogPath;
  // The web-shell scanner's folders, beside Murrow.exe: its built-in rules
  // ("Murrow\rules") and its quarantine ("Murrow\Quarantine"), which the
  // site monitor shares. Without a trailing separator.
  std::string ScannerRulesDir;
  std::string QuarantineDir;
};

// The set for a manager folder; a separator is added when the folder does not
// end in one. The relative parts use the platform's separator ("IIS\ZelkWAF.dll"
// on Windows, "IIS/ZelkWAF.dll" on Linux).
ManagerPaths BuildManagerPaths(std::string manager_dir);

// The set of the running executable's folder, as the window computes it.
ManagerPaths ExecutableManagerPaths();

// The set of a manager folder named on a command line, relative to the
// current folder or absolute: made absolute first (platform::AbsolutePath),
// since the Windows profile API looks for a file of a relative path in the
// Windows folder, and the site monitor compares its log's path with the
// absolute paths it watches.
ManagerPaths AbsoluteManagerPaths(const std::string& manager_dir);

// Creates ManagerDir + "IIS" and ManagerDir + "Log" with any missing parents;
// a folder that cannot be created is passed over silently.
void CreateManagerFolders(const ManagerPaths& paths);

}  // namespace zelk::manager
