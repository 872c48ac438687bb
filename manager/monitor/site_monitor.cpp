#include "manager/monitor/site_monitor.h"

#include <cstdio>

#include "manager/common/log_line.h"
#include "manager/common/text_fields.h"
#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {
namespace {

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

}  // namespace

std::string FormatMonitorStamp(const platform::LocalDateTime& t, char time_separator) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", t.year);
  const std::string sep(1, time_separator);
  return std::string(year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
         TwoDigits(t.hour) + sep + TwoDigits(t.minute) + sep + TwoDigits(t.second);
}

std::string FormatMonitorLine(TFileOperation operation, const std::string& file_name1,
                              const std::string& file_name2, const std::string& stamp) {
  const std::string time = " 时间:" + stamp;
  switch (operation) {
    case foAdded:
      return "新建 " + file_name1 + time;
    case foRemoved:
      return "删除 " + file_name1 + time;
    case foModified:
      return "修改 " + file_name1 + time;
    case foRenamed:
      return "改名 " + file_name1 + " [改为] " + file_name2 + time;
    case foLost:
      return "丢失 " + file_name1 + " [变更过多,部分变更未能记录,请做篡改检查]" + time;
  }
  return std::string();
}

SiteMonitor::SiteMonitor(OwnerThread& owner, ManagerUi& ui, MonitorPage& page,
                         std::string monitor_log_path, Clock clock)
    : owner_(owner),
      ui_(ui),
      page_(page),
      log_path_(std::move(monitor_log_path)),
      clock_(clock ? std::move(clock) : Clock(&platform::NowLocal)) {}

SiteMonitor::~SiteMonitor() = default;

void SiteMonitor::StartOrStop() {
  if (watcher_ != nullptr) {
    Stop();
    return;
  }
  std::string dir(TrimBlanksAndControls(page_.MonitorDirText()));
  if (!ui_.AskYesNo("选择监控目录", "是否使用当前[" + dir + "]作为监控目录?")) {
    std::string chosen;
    if (!ui_.ChooseFolder("选择监控目录", &chosen)) return;
    page_.SetMonitorDirText(chosen);
    dir = chosen;
  }
  if (!platform::DirectoryExists(dir)) {
    ui_.MsgBox("选择的目录不存在请重试", kMsgBoxInformation);
    return;
  }
  page_.SaveMonitorSettings();
  Start(dir, page_.MonitorMaskText(), page_.DeleteNewFilesChecked());
}

bool SiteMonitor::Start(const std::string& dir, const std::string& mask_text, bool delete_new) {
  if (!platform::DirectoryExists(dir)) return false;
  masks_ = SplitMaskList(mask_text);
  delete_new_ = delete_new;
  if (watcher_ == nullptr) watcher_ = std::make_unique<TFileWatcher>(owner_);
  if (watcher_->Actived()) return true;
  watcher_->SetNotifyFilters(TNotifyFilters::All());
  watcher_->SetWatchedDir(dir);
  watcher_->SetOnError([this](const std::string& message) { ui_.ShowError(message); });
  watcher_->SetOnChange([this](TFileOperation op, const std::string& a, const std::string& b) {
    ReportMonitorEvent(op, a, b);
  });
  watcher_->SetActived(true);
  page_.SetMonitorButtonCaption(kMonitorStopCaption);
  return true;
}

void SiteMonitor::Stop() {
  watcher_.reset();
  masks_.clear();
  page_.SetMonitorButtonCaption(kMonitorStartCaption);
}

void SiteMonitor::ReportMonitorEvent(TFileOperation operation, const std::string& file_name1,
                                     const std::string& file_name2) {
  // The log's own growth: our appends create and modify it.
  if ((operation == foAdded || operation == foModified) &&
      EqualsIgnoreAsciiCase(file_name1, log_path_)) {
    return;
  }
  if (operation != foLost && !MatchesAnyMask(masks_, file_name1)) return;

  const std::string stamp = FormatMonitorStamp(clock_(), platform::TimeSeparator());
  const std::string line = FormatMonitorLine(operation, file_name1, file_name2, stamp);
  page_.InsertMonitorLine(line);
  try {
    AppendLogLine(line, log_path_);
    log_failed_ = false;
  } catch (const std::exception& e) {
    // Shown once per stretch of failures: a box per change would bury the
    // administrator while the disk stays full.
    if (!log_failed_) ui_.ShowError(e.what());
    log_failed_ = true;
  }
  if (operation == foAdded && delete_new_) {
    std::string ignored;
    platform::RemoveFile(file_name1, &ignored);
  }
}

}  // namespace zelk::manager
