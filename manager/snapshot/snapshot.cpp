#include "manager/snapshot/snapshot.h"

#include <exception>

#include "manager/common/date_time.h"
#include "manager/common/errors.h"
#include "manager/common/log_line.h"
#include "manager/common/text_fields.h"
#include "manager/common/ui.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

// The walk and its run state: the stop flag, the line count, the masks and
// the limit. One object per run.
class SnapshotWalker {
 public:
  SnapshotWalker(const SnapshotJob& job, ManagerUi& ui)
      : job_(job),
        ui_(ui),
        masks_(SplitMaskList(job.mask_text)),
        has_comma_(job.mask_text.find(',') != std::string::npos),
        limit_(static_cast<std::uint64_t>(job.size_limit_mib) * kMiB),
        sep_(platform::PathSeparator()),
        date_sep_(platform::DateSeparator()),
        time_sep_(platform::TimeSeparator()) {}

  // WalkSnapshotDir. Throws ManagerError when the snapshot file cannot be
  // written; the lines written before stay.
  void Walk(const std::string& dir) {
    if (stop_) return;
    auto entries = platform::DirEnumerator::Open(dir);
    if (!entries) return;
    platform::DirEntry entry;
    while (!stop_ && entries->Next(&entry)) {
      const std::string joined = dir + sep_ + entry.name;
      if (entry.is_directory) {
        if (entry.name != "." && entry.name != "..") Walk(joined);
      } else if (Wanted(entry)) {
        ++lines_;
        const std::string path = CollapseDoubledSeparators(joined, sep_);
        ui_.SetStatus(CompactPathForLabel(path, 60));
        AppendLogLine(FormatSnapshotLine(path, entry, date_sep_, time_sep_), job_.snapshot_path);
      }
      if (!ui_.Progress(lines_, joined)) stop_ = true;
    }
  }

  long lines() const { return lines_; }
  bool stopped() const { return stop_; }

 private:
  bool Wanted(const platform::DirEntry& entry) const {
    // Only the low 32 bits of the size count, as the file is recorded.
    if (static_cast<std::uint32_t>(entry.size) > limit_) return false;
    // The extension pre-filter: a name whose lower-cased extension does not
    // occur in the mask text is passed over, unless the text is one mask.
    const std::size_t dot = FindLastGbkSeparator(entry.name, ".");
    const std::string ext =
        dot == std::string::npos ? std::string() : ToAsciiLower(entry.name.substr(dot));
    const bool in_text = !ext.empty() && job_.mask_text.find(ext) != std::string::npos;
    if (!in_text && has_comma_) return false;
    return MatchesAnyMask(masks_, entry.name);
  }

  const SnapshotJob& job_;
  ManagerUi& ui_;
  const std::vector<std::string> masks_;
  const bool has_comma_;
  const std::uint64_t limit_;
  const char sep_, date_sep_, time_sep_;
  bool stop_ = false;
  long lines_ = 0;
};

// The folder part of a path, with its last separator; empty when none.
std::string FolderPart(const std::string& path) {
  const char seps[] = {platform::PathSeparator(), '/', '\0'};
  const std::size_t sep = FindLastGbkSeparator(path, seps);
  if (sep == std::string::npos) return std::string();
  return path.substr(0, sep + 1);
}

}  // namespace

std::string FormatSnapshotLine(const std::string& path, const platform::DirEntry& entry,
                               char date_separator, char time_separator) {
  std::string line = path;
  line += ',';
  line += std::to_string(static_cast<std::uint32_t>(entry.size));
  line += ',';
  line += FormatSnapshotDateTime(FileTimeToLocalDateTime(entry.creation_time), date_separator,
                                 time_separator);
  line += ',';
  line += FormatSnapshotDateTime(FileTimeToLocalDateTime(entry.last_write_time), date_separator,
                                 time_separator);
  return line;
}

std::string SnapshotLinePath(std::string_view line) {
  std::size_t end = line.size();
  for (int field = 0; field < 3; ++field) {
    const std::size_t comma = end == 0 ? std::string_view::npos : line.rfind(',', end - 1);
    if (comma == std::string_view::npos) return GetDelimitedField(line, ",", 1);
    end = comma;
  }
  return std::string(line.substr(0, end));
}

std::string SnapshotDoneText(long lines) {
  return "提取完成,共提取文件信息 " + std::to_string(lines) + " 条.";
}

SnapshotOutcome RunSnapshotExtraction(const SnapshotJob& job, ManagerUi& ui) {
  SnapshotOutcome outcome;
  try {
    const std::string folder = FolderPart(job.snapshot_path);
    if (!folder.empty() && !platform::CreateDirectories(folder)) {
      throw ManagerError("Unable to create directory \"" + folder + "\"");
    }
    platform::DirEntry existing;
    if (platform::FindFile(job.snapshot_path, &existing) && !existing.is_directory &&
        ui.AskYesNo(kSnapshotExistsCaption, kSnapshotExistsQuestion)) {
      // Overwrite. A file that cannot be deleted must not silently receive
      // the new lines after the old ones.
      std::string error;
      if (!platform::RemoveFile(job.snapshot_path, &error)) throw ManagerError(error);
    }
  } catch (const std::exception& e) {
    ui.ShowError(e.what());
    return outcome;
  }
  outcome.started = true;
  ui.SetStatus(kSnapshotStarting);
  SnapshotWalker walker(job, ui);
  try {
    walker.Walk(job.dir);
  } catch (const std::exception& e) {
    outcome.failed = true;
    outcome.lines = walker.lines();
    ui.ShowError(e.what());
    return outcome;
  }
  outcome.lines = walker.lines();
  outcome.stopped = walker.stopped();
  ui.SetStatus(SnapshotDoneText(outcome.lines));
  return outcome;
}

}  // namespace zelk::manager
