#include "manager/common/paths.h"

#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {

ManagerPaths BuildManagerPaths(std::string manager_dir) {
  const char sep = platform::PathSeparator();
  // The last byte may be the second byte of a GBK character that looks like
  // a backslash; only a separator of its own counts.
  const char seps[] = {sep, '/', '\0'};
  const std::size_t last = FindLastGbkSeparator(manager_dir, seps);
  if (manager_dir.empty() || last != manager_dir.size() - 1) manager_dir += sep;
  const std::string iis = std::string("IIS") + sep;
  const std::string log = std::string("Log") + sep;
  ManagerPaths p;
  p.ManagerDir = manager_dir;
  p.FilterDllPath = manager_dir + iis + "ZelkWAF.dll";
  p.FilterLogPath = manager_dir + iis + "ZelkWAFLog.txt";
  p.FilterIniPath = manager_dir + iis + "ZelkWAF.ini";
  p.UrlListPath = manager_dir + iis + "ZelkWAF.dst";
  p.ConfigIniPath = manager_dir + "Config.ini";
  p.TamperLogPath = manager_dir + log + "newlog.txt";
  p.MonitorLogPath = manager_dir + log + "newmonlog.txt";
  p.ScannerLogPath = manager_dir + "Murrow" + sep + "MurrowLog.txt";
  p.ScannerRulesDir = manager_dir + "Murrow" + sep + "rules";
  p.QuarantineDir = manager_dir + "Murrow" + sep + "Quarantine";
  return p;
}

ManagerPaths ExecutableManagerPaths() { return BuildManagerPaths(platform::ExecutableDir()); }

ManagerPaths AbsoluteManagerPaths(const std::string& manager_dir) {
  return BuildManagerPaths(platform::AbsolutePath(manager_dir));
}

void CreateManagerFolders(const ManagerPaths& paths) {
  const char sep = platform::PathSeparator();
  platform::CreateDirectories(paths.ManagerDir + "IIS" + sep);
  platform::CreateDirectories(paths.ManagerDir + "Log" + sep);
}

}  // namespace zelk::manager
