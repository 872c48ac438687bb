// The site monitor: watches a web root through a TFileWatcher and reports
// every change whose full path matches one of the page's masks as a line at
// the top of the page's list and in the monitor log ("Log\newmonlog.txt"),
// optionally deleting each newly created matching file at once, which removes
// a planted script before it can be called.
//
// Threading rule: everything runs on the owner's thread (the window's, or the
// command-line tool's loop), events included.
//
// Beyond the window's behaviour of old:
//  - changes to the monitor log itself caused by the monitor's own writes
//    (created, modified) are not reported: with the manager's folder inside
//    the watched tree and a mask such as "*.*", every line written would
//    otherwise bring another line, without end;
//  - when the system lost changes (more than its buffer held), a line says
//    so whatever the masks, so that the administrator knows to run a tamper
//    check;
//  - a line that cannot be appended to the log is still listed, a new file
//    is still deleted, the failure is shown once in the general error box
//    (again only after a later append succeeded), and the watching goes on;
//  - with the web-shell scanner's rules at hand (SetBackdoorCheck), every
//    created, changed or renamed-to file whose path matches a mask is scanned
//    right after the change, on a thread of its own (backdoor_check.h); a
//    finding is a line "发现Web后门 " + path + " [" + rules + "] 时间:" +
//    stamp, and with "删除新建文件" ticked a new file is moved to the
//    quarantine folder (with its original path recorded) instead of being
//    deleted, so that nothing is lost. The rules are compiled once per start;
//    when they are missing or none compiles, the page is told once and the
//    monitor works as without them. The quarantine folder's own changes are
//    not reported, as for the log, nor is the access time the check's
//    reading sets.
//
// Not copyable.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "manager/common/ui.h"
#include "manager/monitor/backdoor_check.h"
#include "manager/monitor/file_watcher.h"
#include "platform/clock.h"

namespace zelk::manager {

inline constexpr char kMonitorStartCaption[] = "开始监控";
inline constexpr char kMonitorStopCaption[] = "停止监控";

// The page "网站监控" as the monitor sees it; the window, the command-line
// tool and the tests implement it. Texts are GBK.
class MonitorPage {
 public:
  virtual ~MonitorPage() = default;
  virtual std::string MonitorDirText() = 0;  // edtmondir
  virtual void SetMonitorDirText(const std::string& dir) = 0;
  virtual std::string MonitorMaskText() = 0;                             // cbbmonfileext
  virtual bool DeleteNewFilesChecked() = 0;                              // chkdelnew
  virtual void SetMonitorButtonCaption(const std::string& caption) = 0;  // btnfilemon
  // Inserts the line at the top of lstfilemon (the list keeps its old lines).
  virtual void InsertMonitorLine(const std::string& line) = 0;
  // SaveManagerSettings with what the pages show.
  virtual void SaveMonitorSettings() = 0;
  // A remark about the monitor itself (the back-door check is off, some rule
  // files did not compile): shown, never logged.
  virtual void ShowMonitorNotice(const std::string& text) = 0;
};

// "yyyy-mm-dd hh:nn:ss", ":" printed as the given time separator.
std::string FormatMonitorStamp(const platform::LocalDateTime& t, char time_separator);

// The list and log line of one change ("新建 " + path + " 时间:" + stamp, ...).
std::string FormatMonitorLine(TFileOperation operation, const std::string& file_name1,
                              const std::string& file_name2, const std::string& stamp);

// The line of a back door found: "发现Web后门 " + path + " [" + rules joined
// by "," + "] 时间:" + stamp.
std::string FormatBackdoorLine(const std::string& path, const std::vector<std::string>& rules,
                               const std::string& stamp);

class SiteMonitor {
 public:
  using Clock = std::function<platform::LocalDateTime()>;

  // monitor_log_path: MonitorLogPath of the path set. clock: local time
  // (platform::NowLocal when empty).
  SiteMonitor(OwnerThread& owner, ManagerUi& ui, MonitorPage& page, std::string monitor_log_path,
              Clock clock = Clock());
  ~SiteMonitor();
  SiteMonitor(const SiteMonitor&) = delete;
  SiteMonitor& operator=(const SiteMonitor&) = delete;

  // Stops a running monitor; otherwise asks whether to use
  // the page's directory (or lets the user choose one), refuses a directory
  // that does not exist, saves the settings and starts.
  void StartOrStop();

  // Steps that follow the choice of the directory (used by the button and by
  // the command-line tool): mask list and delete flag as given, watcher on
  // dir with every kind of change, caption "停止监控". False (and nothing
  // started) when the directory does not exist.
  bool Start(const std::string& dir, const std::string& mask_text, bool delete_new);
  // Destroys the watcher, releases the mask list, caption "开始监控".
  // Files waiting for their scan are left unscanned.
  void Stop();

  // Scan changed files with the rules of rules_dir (compiled at each start)
  // and quarantine into quarantine_dir; an empty rules_dir turns the check
  // off. Takes effect at the next start.
  void SetBackdoorCheck(std::string rules_dir, std::string quarantine_dir,
                        BackdoorCheckTiming timing = BackdoorCheckTiming());
  // Rules in use while running; 0 when the check is off.
  std::size_t backdoor_rule_count() const { return backdoor_rule_count_; }
  bool running() const { return watcher_ != nullptr && watcher_->Actived(); }

  // The watcher's handler.
  void ReportMonitorEvent(TFileOperation operation, const std::string& file_name1,
                          const std::string& file_name2);

 private:
  OwnerThread& owner_;
  ManagerUi& ui_;
  MonitorPage& page_;
  const std::string log_path_;
  Clock clock_;
  std::unique_ptr<TFileWatcher> watcher_;
  void StartBackdoorCheck();
  void ReportBackdoor(const BackdoorReport& report);
  void AddLine(const std::string& line);
  bool IsOwnWrite(TFileOperation operation, const std::string& path) const;
  bool InQuarantine(const std::string& path) const;

  std::vector<std::string> masks_;
  bool delete_new_ = false;
  bool log_failed_ = false;
  std::string rules_dir_, quarantine_dir_;
  BackdoorCheckTiming backdoor_timing_;
  std::size_t backdoor_rule_count_ = 0;
  // Last, so that it goes first: its reports use the members above.
  std::unique_ptr<BackdoorCheck> backdoor_;
};

}  // namespace zelk::manager
