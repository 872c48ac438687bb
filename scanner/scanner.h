// The web-shell scanner: loads rule folders, walks files and folders, and
// matches each chosen file against the rules on several threads.
//
// Which files are scanned (all sizes up to ScanOptions::max_file_size,
// 8 MB by default; larger files are reported as kTooLarge):
//   - files whose name carries a server-script extension (IsScriptFileName:
//     the last extension, or the one before a ';' as IIS 6 reads
//     "x.asp;.jpg"), whatever their content;
//   - files that start like an image (GIF, JPEG, PNG, BMP): back doors hide
//     after an image header so that upload checks pass them;
//   - files whose first 4 KB hold a server-script opener ("<?php", "<?=",
//     "<%", "runat=\"server\"", "<jsp:"), whatever their name: included files
//     (.inc, .txt, .log) run as code too;
//   - with ScanOptions::all_files, every file.
// Other files are reported as kNotScanned. Empty files are scanned (rules on
// filesize may match them).
//
// Links: a walk never leaves the tree it was given. On Linux a link to a file
// inside the tree is scanned, a link leading outside it is reported as
// kOutsideTree, and links to folders are not followed (platform/files.h
// leaves them out). On Windows every reparse point met in a walk is reported
// as kOutsideTree and not entered. A path named on the command line is
// scanned as given.
//
// Threading: ScanPaths walks in the calling thread and matches on
// ScanOptions::jobs threads; the observer is called from one thread at a time
// (under a lock), in no fixed order. Nothing here throws out of a thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scanner/yara_rules.h"

namespace zelk::scanner {

// The built-in rules' folder: "rules" beside the running program.
std::string DefaultRulesDir();

// Compiles every .yar and .yara file of each folder (in name order, not
// recursing). A file that fails to compile adds its error and nothing else;
// a folder that cannot be read adds an error with line 0. Returns the number
// of files compiled.
int LoadRuleFolders(const std::vector<std::string>& dirs, RuleSet* rules,
                    std::vector<CompileError>* errors);

// True for a name IIS, PHP or a servlet container runs as a server script.
bool IsScriptFileName(std::string_view name);
// True when a file's first bytes are those of an image format.
bool LooksLikeImage(std::string_view head);
// The selection rule above, from the name and the first 4 KB.
bool ShouldScan(std::string_view name, std::string_view head);

struct ScanOptions {
  std::uint64_t max_file_size = 8 * 1024 * 1024;
  int jobs = 1;
  bool all_files = false;
};

enum class Verdict {
  kClean,
  kInfected,
  kNotScanned,   // not a file the selection rule scans
  kTooLarge,     // over max_file_size
  kOutsideTree,  // a link that leads out of the folder walked
  kError,        // missing, unreadable file or folder (error says why)
};

struct FileResult {
  std::string path;  // GBK, as walked
  Verdict verdict = Verdict::kClean;
  std::vector<std::string> rules;  // kInfected: the rules that matched
  std::uint64_t size = 0;
  std::string error;  // kError
};

struct ScanTotals {
  std::uint64_t files_seen = 0;
  std::uint64_t files_scanned = 0;
  std::uint64_t bytes_scanned = 0;
  std::uint64_t infected = 0;
  std::uint64_t not_scanned = 0;
  std::uint64_t too_large = 0;
  std::uint64_t outside_tree = 0;
  std::uint64_t errors = 0;
  std::uint64_t missing_paths = 0;  // paths given that do not exist (also errors)
  bool cancelled = false;
};

// Told about every file; asked between files whether to stop.
class ScanObserver {
 public:
  virtual ~ScanObserver() = default;
  // `totals` already counts `result`.
  virtual void OnFile(const FileResult& result, const ScanTotals& totals) = 0;
  // Called often from the walking and matching threads; true stops the scan
  // (files being matched are finished, no new ones start).
  virtual bool Cancelled() { return false; }
};

// One file, as a walk would scan it (the monitor's call for a changed file).
FileResult ScanFile(const RuleSet& rules, const std::string& path, const ScanOptions& options);

// Every file under each path (files and folders).
ScanTotals ScanPaths(const RuleSet& rules, const std::vector<std::string>& paths,
                     const ScanOptions& options, ScanObserver* observer);

}  // namespace zelk::scanner
