// The tamper check and the snapshot comparison: findings are appended to the
// tamper log ("Log\newlog.txt"), one line each, a fixed prefix followed by the
// file's path; the log is never emptied, so findings of every run accumulate.
#pragma once

#include <string>
#include <vector>

namespace zelk::manager {

class ManagerUi;

inline constexpr char kFindingModified[] = "文件已经被修改";
inline constexpr char kFindingDeleted[] = "文件已经被删除";
inline constexpr char kFindingNew[] = "新建的文件";

inline constexpr char kCompareCaption[] = "快照对比可发现网站新建的文件";
inline constexpr char kCompareQuestion[] =
    "快照对比功能需提供2个相同规则不同时间制作的快照文件 是否继续";
inline constexpr char kCompareNewerTitle[] = "请选择最新的快照文件";
inline constexpr char kCompareOlderTitle[] = "请选择需要对比的快照文件";
inline constexpr char kCompareDoneCaption[] = "操作已完成";
inline constexpr char kCompareNothingFound[] = "快照文件对比完成未发现可疑项";

// "校验完成,共发现文件被篡改 %d 个."
std::string CheckDoneText(long findings);

// BuildSnapshotLine: looks the path up, builds its snapshot line now (the
// path used unchanged) and compares it byte for byte with the stored line.
// True when equal (unchanged); false when they differ or nothing is found.
bool BuildSnapshotLine(const std::string& path, const std::string& stored_line);

struct FindingsOutcome {
  bool failed = false;                 // an error ended the run (shown through ShowError)
  long findings = 0;                   // lines appended to the tamper log
  std::vector<std::string> log_lines;  // those lines, in order
};

// The tamper check (btnchkmodClick): every line of the snapshot file is
// checked against the disk; a file whose line differs is "modified", a path
// where no file (or a folder) is found is "deleted". Sets the completion text
// with SetStatus and opens the tamper log when anything was found. A snapshot
// that cannot be read ends the check before any finding.
FindingsOutcome RunTamperCheck(const std::string& snapshot_path, const std::string& tamper_log_path,
                               ManagerUi& ui);

// The lines of the newer snapshot that the older one lacks, comparing whole
// lines without regard to ASCII letter case (other bytes in byte order), in
// the sorted order of the newer lines; lines without a comma are passed over.
// A line present twice in the newer snapshot comes back twice.
std::vector<std::string> NewSnapshotLines(std::vector<std::string> newer,
                                          std::vector<std::string> older);

// Steps after the two files are chosen: loads both, appends "新建的文件" +
// path for each new line, then shows "快照文件对比完成未发现可疑项" when
// nothing was found or opens the tamper log.
FindingsOutcome CompareSnapshotFiles(const std::string& newer_path, const std::string& older_path,
                                     const std::string& tamper_log_path, ManagerUi& ui);

// btnchktwologClick: asks whether to go on, lets the user choose the newer
// and the older snapshot, and compares them. Cancelling a file choice counts
// as nothing found.
FindingsOutcome RunSnapshotComparison(const std::string& tamper_log_path, ManagerUi& ui);

}  // namespace zelk::manager
