#include "manager/snapshot/tamper_check.h"

#include <algorithm>
#include <exception>

#include "manager/common/errors.h"
#include "manager/common/log_line.h"
#include "manager/common/ui.h"
#include "manager/snapshot/snapshot.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

std::vector<std::string> LoadLines(const std::string& path) {
  std::string bytes, error;
  if (!platform::ReadWholeFile(path, &bytes, &error)) {
    throw ManagerError("Cannot open file \"" + path + "\". " + error);
  }
  return SplitLines(bytes);
}

// Negative, zero or positive as a sorts before, equal to or after b, with
// ASCII letters folded to lower case and all other bytes in byte order.
int CompareIgnoringCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(AsciiLower(a[i]));
    const unsigned char y = static_cast<unsigned char>(AsciiLower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return CompareIgnoringCase(a, b) < 0;
}

bool SameLine(const std::string& path, const std::string& stored, const platform::DirEntry& entry,
              char ds, char ts) {
  return FormatSnapshotLine(path, entry, ds, ts) == stored;
}

void Record(FindingsOutcome* out, const std::string& line, const std::string& log_path) {
  ++out->findings;
  out->log_lines.push_back(line);
  AppendLogLine(line, log_path);
}

const FileDialog kSnapshotOpenDialog = {"", "txt", "Text File(*.txt)|*.txt|All File(*.*)|*.*",
                                        false};

}  // namespace

std::string CheckDoneText(long findings) {
  return "校验完成,共发现文件被篡改 " + std::to_string(findings) + " 个.";
}

bool BuildSnapshotLine(const std::string& path, const std::string& stored_line) {
  platform::DirEntry entry;
  if (!platform::FindFile(path, &entry)) return false;
  return SameLine(path, stored_line, entry, platform::DateSeparator(), platform::TimeSeparator());
}

FindingsOutcome RunTamperCheck(const std::string& snapshot_path, const std::string& tamper_log_path,
                               ManagerUi& ui) {
  FindingsOutcome out;
  try {
    const std::vector<std::string> lines = LoadLines(snapshot_path);
    const char ds = platform::DateSeparator(), ts = platform::TimeSeparator();
    for (const std::string& line : lines) {
      const std::string path = SnapshotLinePath(line);
      platform::DirEntry entry;
      if (platform::FindFile(path, &entry) && !entry.is_directory) {
        if (!SameLine(path, line, entry, ds, ts))
          Record(&out, kFindingModified + path, tamper_log_path);
      } else {
        Record(&out, kFindingDeleted + path, tamper_log_path);
      }
    }
  } catch (const std::exception& e) {
    out.failed = true;
    ui.ShowError(e.what());
    return out;
  }
  ui.SetStatus(CheckDoneText(out.findings));
  if (out.findings > 0) ui.OpenFile(tamper_log_path);
  return out;
}

std::vector<std::string> NewSnapshotLines(std::vector<std::string> newer,
                                          std::vector<std::string> older) {
  std::stable_sort(newer.begin(), newer.end(), LessIgnoringCase);
  std::stable_sort(older.begin(), older.end(), LessIgnoringCase);
  std::vector<std::string> found;
  for (std::string& line : newer) {
    if (std::binary_search(older.begin(), older.end(), line, LessIgnoringCase)) continue;
    if (line.find(',') == std::string::npos) continue;
    found.push_back(std::move(line));
  }
  return found;
}

FindingsOutcome CompareSnapshotFiles(const std::string& newer_path, const std::string& older_path,
                                     const std::string& tamper_log_path, ManagerUi& ui) {
  FindingsOutcome out;
  try {
    std::vector<std::string> newer = LoadLines(newer_path);
    std::vector<std::string> older = LoadLines(older_path);
    for (const std::string& line : NewSnapshotLines(std::move(newer), std::move(older))) {
      Record(&out, kFindingNew + SnapshotLinePath(line), tamper_log_path);
    }
  } catch (const std::exception& e) {
    out.failed = true;
    ui.ShowError(e.what());
    return out;
  }
  if (out.findings < 1) {
    ui.ShowMessage(kCompareDoneCaption, kCompareNothingFound, kMsgBoxInformation);
  } else {
    ui.OpenFile(tamper_log_path);
  }
  return out;
}

FindingsOutcome RunSnapshotComparison(const std::string& tamper_log_path, ManagerUi& ui) {
  if (!ui.AskYesNo(kCompareCaption, kCompareQuestion)) return {};
  FileDialog dialog = kSnapshotOpenDialog;
  dialog.title = kCompareNewerTitle;
  std::string newer, older;
  bool chosen = ui.ChooseFile(dialog, &newer);
  if (chosen) {
    dialog.title = kCompareOlderTitle;
    chosen = ui.ChooseFile(dialog, &older);
  }
  if (!chosen) {
    ui.ShowMessage(kCompareDoneCaption, kCompareNothingFound, kMsgBoxInformation);
    return {};
  }
  return CompareSnapshotFiles(newer, older, tamper_log_path, ui);
}

}  // namespace zelk::manager
