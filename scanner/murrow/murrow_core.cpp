#include "scanner/murrow/murrow_core.h"

#include <cstdio>

#include "manager/common/date_time.h"
#include "manager/iis/settings_store.h"
#include "manager/monitor/site_monitor.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace zelk::scanner::murrow {
namespace {

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

// The folder above a folder path (with its trailing separator), reading GBK:
// a trail byte equal to '\' is part of a character, not a separator.
std::string ParentFolder(const std::string& dir) {
  std::string trimmed = dir;
  while (EndsInSeparator(trimmed)) trimmed.pop_back();
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(trimmed[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < trimmed.size()) {
      ++i;
    } else if (c == '/' || c == '\\') {
      cut = i;
    }
  }
  return cut == std::string::npos ? std::string() : trimmed.substr(0, cut + 1);
}

std::string Megabytes(std::uint64_t bytes) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return buf;
}

std::string Num(std::uint64_t n) { return std::to_string(n); }

}  // namespace

MurrowPaths BuildMurrowPaths(std::string dir) {
  if (!EndsInSeparator(dir)) dir += platform::PathSeparator();
  MurrowPaths p;
  p.dir = dir;
  p.log = dir + "MurrowLog.txt";
  p.ini = dir + "Murrow.ini";
  p.rules = dir + "rules";
  p.quarantine = dir + "Quarantine";
  p.manager_config = ParentFolder(dir) + "Config.ini";
  return p;
}

MurrowSettings LoadMurrowSettings(const std::string& ini_path) {
  MurrowSettings s;
  for (const MurrowKey& k : kMurrowKeys) {
    s.*k.text = platform::GetProfileString(ini_path, kMurrowSection, k.name, "");
  }
  return s;
}

bool SaveMurrowSettings(const std::string& ini_path, const MurrowSettings& settings) {
  for (const MurrowKey& k : kMurrowKeys) {
    if (!platform::WriteProfileString(ini_path, kMurrowSection, k.name, settings.*k.text)) {
      return false;
    }
  }
  return true;
}

std::string InitialScanFolder(const MurrowPaths& paths, const MurrowSettings& settings) {
  if (!settings.ScanDir.empty()) return settings.ScanDir;
  return manager::LoadManagerSettings(paths.manager_config).MonDir;
}

std::vector<std::string> RuleFolders(const MurrowPaths& paths, const MurrowSettings& settings) {
  std::vector<std::string> dirs{paths.rules};
  if (!settings.RuleDir.empty()) dirs.push_back(settings.RuleDir);
  return dirs;
}

std::string PathUnder(const std::string& folder, const std::string& path) {
  std::string prefix = folder;
  if (!EndsInSeparator(prefix)) prefix += platform::PathSeparator();
  if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
    return path.substr(prefix.size());
  }
  return path;
}

std::string JoinRules(const std::vector<std::string>& rules) {
  std::string out;
  for (const std::string& r : rules) out += (out.empty() ? "" : ",") + r;
  return out;
}

std::string FormatSize(std::uint64_t bytes) {
  if (bytes < 1024) return Num(bytes) + " B";
  char buf[32];
  if (bytes < 1024 * 1024) {
    std::snprintf(buf, sizeof buf, "%.1f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return buf;
}

std::string FormatStamp(const platform::LocalDateTime& t) {
  return manager::FormatMonitorStamp(t, platform::TimeSeparator());
}

std::string FormatFileTime(std::uint64_t file_time) {
  return FormatStamp(manager::FileTimeToLocalDateTime(file_time));
}

std::string FormatProgress(const ScanTotals& t) {
  return "已检查 " + Num(t.files_scanned) + " 个文件, " + Megabytes(t.bytes_scanned) +
         " MB, 发现后门 " + Num(t.infected) + " 个";
}

std::string ScanStartLine(const std::string& folder, std::size_t rule_count,
                          const std::string& stamp) {
  return "开始扫描 " + folder + " [规则" + Num(rule_count) + "条] 时间:" + stamp;
}

std::string FindingLine(const std::string& path, const std::vector<std::string>& rules,
                        std::uint64_t size, const std::string& stamp) {
  return "发现Web后门 " + path + " [" + JoinRules(rules) + "] 大小:" + Num(size) + " 时间:" + stamp;
}

std::string ScanEndLine(const std::string& folder, const ScanTotals& t, double seconds,
                        const std::string& stamp) {
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.1f", seconds);
  return std::string(t.cancelled ? "扫描中止 " : "扫描完成 ") + folder + " [检查文件" +
         Num(t.files_scanned) + "个," + Megabytes(t.bytes_scanned) + "MB,发现后门" +
         Num(t.infected) + "个,跳过" + Num(t.not_scanned + t.too_large + t.outside_tree) +
         "个,错误" + Num(t.errors) + "个,用时" + secs + "秒] 时间:" + stamp;
}

std::string RuleErrorLine(const CompileError& error, const std::string& stamp) {
  return "规则错误 " + error.Text() + " 时间:" + stamp;
}

std::string NoRulesLine(const std::string& stamp) {
  return "扫描失败 [没有可用的规则] 时间:" + stamp;
}

std::string QuarantineLine(const QuarantineEntry& e, const std::string& stamp) {
  return "隔离 " + e.original_path + " [" + e.rules + "] [隔离为" + e.id + "] 时间:" + stamp;
}

std::string RestoreLine(const QuarantineEntry& e, const std::string& stamp) {
  return "恢复 " + e.original_path + " [" + e.id + "] 时间:" + stamp;
}

bool AppendMurrowLog(const std::string& log_path, const std::string& line, std::string* error) {
  return platform::AppendToFile(log_path, line + "\r\n", error);
}

bool QuarantineFinding(const MurrowPaths& paths, const std::string& path,
                       const std::vector<std::string>& rules, const std::string& stamp,
                       QuarantineEntry* entry, std::string* error) {
  if (!QuarantineFile(path, paths.quarantine, rules, entry, error)) return false;
  AppendMurrowLog(paths.log, QuarantineLine(*entry, stamp), error);
  return true;
}

bool RestoreQuarantined(const MurrowPaths& paths, const QuarantineEntry& entry,
                        const std::string& stamp, std::string* error) {
  if (!RestoreFile(paths.quarantine, entry, error)) return false;
  AppendMurrowLog(paths.log, RestoreLine(entry, stamp), error);
  return true;
}

}  // namespace zelk::scanner::murrow
