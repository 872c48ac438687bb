#include "manager/monitor/site_monitor.h"

#include <cstdio>

#include "manager/common/log_line.h"
#include "manager/common/text_fields.h"
#include "platform/files.h"
#include "platform/text.h"
#include "scanner/scanner.h"

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

std::string FormatBackdoorLine(const std::string& path, const std::vector<std::string>& rules,
                               const std::string& stamp) {
  std::string names;
  for (const std::string& r : rules) names += (names.empty() ? "" : ",") + r;
  return "发现Web后门 " + path + " [" + names + "] 时间:" + stamp;
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
  StartBackdoorCheck();
  watcher_->SetActived(true);
  page_.SetMonitorButtonCaption(kMonitorStopCaption);
  return true;
}

void SiteMonitor::Stop() {
  watcher_.reset();
  backdoor_.reset();
  backdoor_rule_count_ = 0;
  masks_.clear();
  page_.SetMonitorButtonCaption(kMonitorStartCaption);
}

void SiteMonitor::SetBackdoorCheck(std::string rules_dir, std::string quarantine_dir,
                                   BackdoorCheckTiming timing) {
  rules_dir_ = std::move(rules_dir);
  quarantine_dir_ = std::move(quarantine_dir);
  while (quarantine_dir_.size() > 1 &&
         (quarantine_dir_.back() == '/' || quarantine_dir_.back() == '\\')) {
    quarantine_dir_.pop_back();
  }
  backdoor_timing_ = timing;
}

void SiteMonitor::StartBackdoorCheck() {
  backdoor_.reset();
  backdoor_rule_count_ = 0;
  if (rules_dir_.empty()) return;
  if (!platform::DirectoryExists(rules_dir_)) {
    page_.ShowMonitorNotice("找不到Web后门规则目录 " + rules_dir_ + ", 本次监控不检查后门");
    return;
  }
  auto rules = std::make_unique<scanner::RuleSet>();
  std::vector<scanner::CompileError> errors;
  scanner::LoadRuleFolders({rules_dir_}, rules.get(), &errors);
  // A file with an error is left out; the others serve.
  for (const scanner::CompileError& e : errors) {
    page_.ShowMonitorNotice("Web后门规则错误: " + e.Text());
  }
  if (rules->rule_count() == 0) {
    page_.ShowMonitorNotice("没有可用的Web后门规则 (" + rules_dir_ + "), 本次监控不检查后门");
    return;
  }
  backdoor_rule_count_ = rules->rule_count();
  backdoor_ = std::make_unique<BackdoorCheck>(
      owner_, std::move(rules), quarantine_dir_,
      [this](const BackdoorReport& report) { ReportBackdoor(report); }, backdoor_timing_);
}

bool SiteMonitor::IsOwnWrite(TFileOperation operation, const std::string& path) const {
  if (operation != foAdded && operation != foModified) return false;
  return EqualsIgnoreAsciiCase(path, log_path_) || InQuarantine(path);
}

// The quarantine folder and what it holds, while the check can write there.
bool SiteMonitor::InQuarantine(const std::string& path) const {
  if (backdoor_ == nullptr || quarantine_dir_.empty()) return false;
  return StartsWithIgnoreAsciiCase(path, quarantine_dir_) &&
         (path.size() == quarantine_dir_.size() || path[quarantine_dir_.size()] == '/' ||
          path[quarantine_dir_.size()] == '\\');
}

void SiteMonitor::AddLine(const std::string& line) {
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
}

void SiteMonitor::ReportBackdoor(const BackdoorReport& report) {
  if (report.rules.empty()) return;  // a clean new file, quarantined or not
  AddLine(FormatBackdoorLine(report.path, report.rules,
                             FormatMonitorStamp(clock_(), platform::TimeSeparator())));
  if (!report.error.empty()) {
    ui_.ShowError("无法把Web后门 " + report.path + " 移入隔离区: " + report.error);
  }
}

void SiteMonitor::ReportMonitorEvent(TFileOperation operation, const std::string& file_name1,
                                     const std::string& file_name2) {
  // The log's own growth (our appends create and modify it), the
  // quarantine's, and the access time set by the back-door check's reading.
  if (IsOwnWrite(operation, file_name1)) return;
  if (operation == foModified && backdoor_ != nullptr && backdoor_->WasOwnRead(file_name1)) return;
  // A file renamed to a script name is scanned even when its old name is not
  // one the masks list (which decide the line, on the old name). A file moved
  // into quarantine inside the tree arrives as a rename too.
  if (backdoor_ != nullptr && operation == foRenamed && MatchesAnyMask(masks_, file_name2) &&
      !InQuarantine(file_name2)) {
    backdoor_->Check(file_name2, false);
  }
  if (operation != foLost && !MatchesAnyMask(masks_, file_name1)) return;

  const std::string stamp = FormatMonitorStamp(clock_(), platform::TimeSeparator());
  AddLine(FormatMonitorLine(operation, file_name1, file_name2, stamp));
  if (backdoor_ != nullptr && (operation == foAdded || operation == foModified)) {
    // A new file the tick would delete is quarantined instead, once scanned.
    backdoor_->Check(file_name1, operation == foAdded && delete_new_);
  } else if (operation == foAdded && delete_new_) {
    std::string ignored;
    platform::RemoveFile(file_name1, &ignored);
  }
}

}  // namespace zelk::manager
