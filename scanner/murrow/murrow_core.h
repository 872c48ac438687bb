// Murrow's portable side: where its files live, its settings file, the lines
// of its log, and the quarantine and restore steps the window offers.
//
// Murrow.exe sits in the manager's "Murrow" folder:
//   Murrow\Murrow.exe        the window
//   Murrow\MurrowLog.txt     the log (GBK, CR LF lines, append-only)
//   Murrow\Murrow.ini        its settings, section "Murrow" (GBK)
//   Murrow\rules\            the built-in rules (*.yar)
//   Murrow\Quarantine\       moved findings (qN.bin) and their records (qN.txt)
//   ..\Config.ini            the manager's settings: MonDir, the monitored site,
//                            is the first folder offered for a scan
//
// Every log line ends in " 时间:yyyy-mm-dd hh:nn:ss", as the monitor log's do.
// Nothing here is thread-bound; the functions that write files are for one
// thread at a time per folder.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "scanner/quarantine.h"
#include "scanner/scanner.h"

namespace zelk::scanner::murrow {

struct MurrowPaths {
  std::string dir;  // the program's folder, with its trailing separator
  std::string log;
  std::string ini;
  std::string rules;
  std::string quarantine;
  std::string manager_config;  // the manager's Config.ini, one folder up
};

// The paths for a program folder (a separator is added when missing).
MurrowPaths BuildMurrowPaths(std::string dir);

// Murrow.ini, section "Murrow".
struct MurrowSettings {
  std::string ScanDir;  // the folder scanned last; empty: the manager's MonDir
  std::string RuleDir;  // the user's rule folder, loaded after the built-in rules
};

inline constexpr char kMurrowSection[] = "Murrow";

struct MurrowKey {
  const char* name;
  std::string MurrowSettings::*text;
};
inline constexpr std::array<MurrowKey, 2> kMurrowKeys = {{
    {"ScanDir", &MurrowSettings::ScanDir},
    {"RuleDir", &MurrowSettings::RuleDir},
}};

// Missing file or keys give empty texts.
MurrowSettings LoadMurrowSettings(const std::string& ini_path);
// Writes every key; false when the file cannot be written (keys written
// before the failure stay).
bool SaveMurrowSettings(const std::string& ini_path, const MurrowSettings& settings);

// The folder a scan starts with: the saved ScanDir, else the manager's
// monitor folder (Config.ini, section "Config", key "MonDir", with the
// manager's own default when the file or key is missing).
std::string InitialScanFolder(const MurrowPaths& paths, const MurrowSettings& settings);

// The rule folders of a scan: the built-in folder, then the user's when set.
std::vector<std::string> RuleFolders(const MurrowPaths& paths, const MurrowSettings& settings);

// A path found under a scanned folder, as the findings list shows it: the
// part below the folder ("up\x.asp"); the whole path when it lies elsewhere.
std::string PathUnder(const std::string& folder, const std::string& path);

// "a,b".
std::string JoinRules(const std::vector<std::string>& rules);
// Bytes for people: "512 B", "1.5 KB", "2.0 MB".
std::string FormatSize(std::uint64_t bytes);
// "yyyy-mm-dd hh:nn:ss", local time, the monitor log's stamp (with the user's
// regional time separator).
std::string FormatStamp(const platform::LocalDateTime& t);
// A file time (FILETIME ticks, UTC) in local time, as FormatStamp.
std::string FormatFileTime(std::uint64_t file_time);
// The progress line: "已检查 12 个文件, 0.3 MB, 发现后门 2 个".
std::string FormatProgress(const ScanTotals& totals);

// Log lines (without the line end).
std::string ScanStartLine(const std::string& folder, std::size_t rule_count,
                          const std::string& stamp);
std::string FindingLine(const std::string& path, const std::vector<std::string>& rules,
                        std::uint64_t size, const std::string& stamp);
std::string ScanEndLine(const std::string& folder, const ScanTotals& totals, double seconds,
                        const std::string& stamp);
std::string RuleErrorLine(const CompileError& error, const std::string& stamp);
std::string NoRulesLine(const std::string& stamp);
std::string QuarantineLine(const QuarantineEntry& entry, const std::string& stamp);
std::string RestoreLine(const QuarantineEntry& entry, const std::string& stamp);

// Appends line + CR LF to the log; false (with *error) when it cannot.
bool AppendMurrowLog(const std::string& log_path, const std::string& line, std::string* error);

// Moves a finding into the quarantine folder and logs it. The log line is
// written only when the move succeeded; a log failure does not undo the move
// (*error then says so and the result is still true).
bool QuarantineFinding(const MurrowPaths& paths, const std::string& path,
                       const std::vector<std::string>& rules, const std::string& stamp,
                       QuarantineEntry* entry, std::string* error);
// Puts a quarantined file back where it came from and logs it.
bool RestoreQuarantined(const MurrowPaths& paths, const QuarantineEntry& entry,
                        const std::string& stamp, std::string* error);

}  // namespace zelk::scanner::murrow
