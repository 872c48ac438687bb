// Snapshot files: one GBK line per recorded file, ended by CR LF,
//   path "," size "," created "," modified
// with the size as the low 32 bits of the file size in decimal and the times
// as local "yyyy/mm/dd hh:nn:ss" with the regional separators. The path is
// written whole and a comma in it unchanged; a reader therefore takes the
// path as everything before the last three fields (SnapshotLinePath).
//
// Extraction walks a folder tree depth first and appends one line per file
// whose name passes the masks and whose size is within the limit, opening and
// closing the snapshot file for every line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace zelk::manager {

class ManagerUi;

inline constexpr char kSnapshotExistsCaption[] = "快照文件已经存在";
inline constexpr char kSnapshotExistsQuestion[] =
    "快照文件已经存在请确认是否覆盖 选否则采用追加方式?";
inline constexpr char kSnapshotStarting[] = "正在初始化,请稍后...";
inline constexpr std::uint64_t kMiB = 1048576;

// The snapshot line of a file at path.
std::string FormatSnapshotLine(const std::string& path, const platform::DirEntry& entry,
                               char date_separator, char time_separator);

// The path of a stored snapshot line: everything before the last three
// comma-separated fields (size, created and modified never hold a comma); a
// line with fewer than four fields gives its first field.
std::string SnapshotLinePath(std::string_view line);

// "提取完成,共提取文件信息 %d 条."
std::string SnapshotDoneText(long lines);

struct SnapshotJob {
  std::string dir;            // start folder, as typed
  std::string snapshot_path;  // the snapshot file
  std::string mask_text;      // file types, e.g. "*.asp,*.asa,*.inc"
  int size_limit_mib = 1;     // largest file taken, in MiB
};

struct SnapshotOutcome {
  bool started = false;  // false when the snapshot's folder could not be made
  bool failed = false;   // an error ended the run (shown through ShowError)
  bool stopped = false;  // Progress asked to stop
  long lines = 0;        // lines written by this run
};

// The start procedure of an extraction (after the window has saved its
// settings): builds the mask list, creates the snapshot file's folder, asks
// whether an existing snapshot file is replaced (Yes) or appended to (No),
// walks the start folder and shows the completion text with SetStatus.
// Errors go to ui.ShowError; nothing throws.
SnapshotOutcome RunSnapshotExtraction(const SnapshotJob& job, ManagerUi& ui);

}  // namespace zelk::manager
