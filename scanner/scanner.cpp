#include "scanner/scanner.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "platform/file_info.h"
#include "platform/files.h"

namespace zelk::scanner {
namespace {

constexpr std::size_t kHeadBytes = 4096;

std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EndsWithSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

std::string Join(const std::string& dir, const std::string& name) {
  return EndsWithSeparator(dir) ? dir + name : dir + platform::PathSeparator() + name;
}

// The bare name: after the last separator ('/' always; '\' too, but not as
// the second byte of a GBK character).
std::string_view BaseName(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\') start = i + 1;
  }
  return path.substr(start);
}

Externals ExternalsFor(const std::string& path, std::string_view head) {
  Externals e;
  e.filepath = path;
  e.filename = std::string(BaseName(path));
  const std::size_t dot = e.filename.rfind('.');
  if (dot != std::string::npos) e.extension = LowerAscii(e.filename.substr(dot + 1));
  e.filetype = FileTypeOf(head);
  e.owner = platform::FileOwner(path);
  return e;
}

// Reads, selects and matches one file of known size.
FileResult ScanOne(const RuleSet& rules, const std::string& path, std::uint64_t size,
                   const ScanOptions& options) {
  FileResult r;
  r.path = path;
  r.size = size;
  std::string head;
  std::string error;
  if (!platform::ReadFileHead(path, kHeadBytes, &head, &error)) {
    r.verdict = Verdict::kError;
    r.error = error;
    return r;
  }
  if (!options.all_files && !ShouldScan(BaseName(path), head)) {
    r.verdict = Verdict::kNotScanned;
    return r;
  }
  if (size > options.max_file_size) {
    r.verdict = Verdict::kTooLarge;
    return r;
  }
  std::string data;
  if (head.size() < kHeadBytes) {
    data = std::move(head);
  } else if (!platform::ReadWholeFile(path, &data, &error)) {
    r.verdict = Verdict::kError;
    r.error = error;
    return r;
  }
  // The file may have grown since it was listed.
  if (data.size() > options.max_file_size) {
    r.verdict = Verdict::kTooLarge;
    return r;
  }
  r.size = data.size();
  r.rules = rules.Match(data, ExternalsFor(path, std::string_view(data).substr(0, kHeadBytes)));
  r.verdict = r.rules.empty() ? Verdict::kClean : Verdict::kInfected;
  return r;
}

void Count(const FileResult& r, ScanTotals* t) {
  ++t->files_seen;
  switch (r.verdict) {
    case Verdict::kClean:
    case Verdict::kInfected:
      ++t->files_scanned;
      t->bytes_scanned += r.size;
      if (r.verdict == Verdict::kInfected) ++t->infected;
      break;
    case Verdict::kNotScanned:
      ++t->not_scanned;
      break;
    case Verdict::kTooLarge:
      ++t->too_large;
      break;
    case Verdict::kOutsideTree:
      ++t->outside_tree;
      break;
    case Verdict::kError:
      ++t->errors;
      break;
  }
}

struct Task {
  std::string path;
  std::uint64_t size = 0;
};

// Walks the paths in the calling thread, hands files to the workers through
// a bounded queue, and reports each result under one lock.
class Scan {
 public:
  Scan(const RuleSet& rules, const ScanOptions& options, ScanObserver* observer)
      : rules_(rules), options_(options), observer_(observer) {}

  ScanTotals Run(const std::vector<std::string>& paths) {
    const int jobs = std::max(1, options_.jobs);
    if (jobs > 1) {
      for (int i = 0; i < jobs; ++i) workers_.emplace_back([this] { Work(); });
    }
    for (const std::string& path : paths) {
      if (Stopped()) break;
      platform::DirEntry entry;
      std::string bare = path;
      while (bare.size() > 1 && EndsWithSeparator(bare) && bare != "/") bare.pop_back();
      if (!platform::FindFile(bare, &entry) && !platform::DirectoryExists(bare)) {
        FileResult r;
        r.path = path;
        r.verdict = Verdict::kError;
        r.error = "not found: " + path;
        {
          std::lock_guard<std::mutex> lock(report_mutex_);
          ++totals_.missing_paths;
        }
        Report(r);
        continue;
      }
      if (platform::DirectoryExists(bare)) {
        const std::string root = platform::ResolveLink(bare);
        Walk(bare, root);
      } else {
        Submit({bare, entry.size});
      }
    }
    {
      std::lock_guard<std::mutex> lock(queue_mutex_);
      done_ = true;
    }
    queue_ready_.notify_all();
    for (std::thread& t : workers_) t.join();
    totals_.cancelled = Stopped();
    return totals_;
  }

 private:
  bool Stopped() {
    if (!stopped_.load() && observer_ != nullptr && observer_->Cancelled()) stopped_ = true;
    return stopped_.load();
  }

  void Report(const FileResult& r) {
    std::lock_guard<std::mutex> lock(report_mutex_);
    Count(r, &totals_);
    if (observer_ != nullptr) observer_->OnFile(r, totals_);
  }

  // Whether a link met in the walk leads to a place inside the root.
  static bool InsideRoot(const std::string& path, const std::string& root) {
    if (root.empty()) return false;
    const std::string target = platform::ResolveLink(path);
    if (target.empty()) return false;
    const std::string prefix = EndsWithSeparator(root) ? root : root + platform::PathSeparator();
    return target.compare(0, prefix.size(), prefix) == 0;
  }

  void Walk(const std::string& dir, const std::string& root) {
    // Depth-first with an explicit stack: deep trees cannot exhaust ours.
    std::vector<std::string> pending{dir};
    while (!pending.empty() && !Stopped()) {
      const std::string current = std::move(pending.back());
      pending.pop_back();
      const std::unique_ptr<platform::DirEnumerator> e = platform::DirEnumerator::Open(current);
      if (!e) {
        FileResult r;
        r.path = current;
        r.verdict = Verdict::kError;
        r.error = "cannot list folder: " + current;
        Report(r);
        continue;
      }
      std::vector<platform::DirEntry> entries;
      platform::DirEntry entry;
      while (e->Next(&entry)) {
        if (entry.name == "." || entry.name == "..") continue;
        entries.push_back(entry);
      }
      std::sort(
          entries.begin(), entries.end(),
          [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
      std::vector<std::string> subdirs;
      for (const platform::DirEntry& item : entries) {
        if (Stopped()) return;
        const std::string path = Join(current, item.name);
        if (platform::IsLink(path) && (item.is_directory || !InsideRoot(path, root))) {
          FileResult r;
          r.path = path;
          r.verdict = Verdict::kOutsideTree;
          Report(r);
          continue;
        }
        if (item.is_directory) {
          subdirs.push_back(path);
        } else {
          Submit({path, item.size});
        }
      }
      for (auto it = subdirs.rbegin(); it != subdirs.rend(); ++it) pending.push_back(*it);
    }
  }

  void Submit(Task task) {
    if (workers_.empty()) {
      Process(task);
      return;
    }
    std::unique_lock<std::mutex> lock(queue_mutex_);
    queue_space_.wait(lock, [this] { return queue_.size() < 256 || stopped_.load(); });
    if (stopped_.load()) return;
    queue_.push_back(std::move(task));
    lock.unlock();
    queue_ready_.notify_one();
  }

  void Process(const Task& task) {
    FileResult r;
    try {
      r = ScanOne(rules_, task.path, task.size, options_);
    } catch (const std::exception& e) {
      r.path = task.path;
      r.verdict = Verdict::kError;
      r.error = std::string("scan failed: ") + e.what();
    }
    Report(r);
  }

  void Work() {
    while (true) {
      Task task;
      {
        std::unique_lock<std::mutex> lock(queue_mutex_);
        queue_ready_.wait(lock, [this] { return !queue_.empty() || done_ || stopped_.load(); });
        if (queue_.empty() || stopped_.load()) return;
        task = std::move(queue_.front());
        queue_.pop_front();
      }
      queue_space_.notify_one();
      if (Stopped()) {
        queue_space_.notify_all();
        queue_ready_.notify_all();
        return;
      }
      Process(task);
    }
  }

  const RuleSet& rules_;
  const ScanOptions& options_;
  ScanObserver* observer_;
  std::vector<std::thread> workers_;
  std::mutex queue_mutex_;
  std::condition_variable queue_ready_;
  std::condition_variable queue_space_;
  std::deque<Task> queue_;
  bool done_ = false;
  std::atomic<bool> stopped_{false};
  std::mutex report_mutex_;
  ScanTotals totals_;
};

}  // namespace

std::string DefaultRulesDir() { return platform::ExecutableDir() + "rules"; }

int LoadRuleFolders(const std::vector<std::string>& dirs, RuleSet* rules,
                    std::vector<CompileError>* errors) {
  int compiled = 0;
  for (const std::string& dir : dirs) {
    const std::unique_ptr<platform::DirEnumerator> e = platform::DirEnumerator::Open(dir);
    if (!e) {
      errors->push_back({dir, 0, "cannot read the rule folder"});
      continue;
    }
    std::vector<std::string> names;
    platform::DirEntry entry;
    while (e->Next(&entry)) {
      const std::string ext =
          LowerAscii(entry.name.substr(std::min(entry.name.size(), entry.name.rfind('.'))));
      if (!entry.is_directory && (ext == ".yar" || ext == ".yara")) names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      const std::string path = Join(dir, name);
      std::string text, error;
      if (!platform::ReadWholeFile(path, &text, &error)) {
        errors->push_back({path, 0, error});
        continue;
      }
      compiled += rules->AddSource(path, text, errors);
    }
  }
  return compiled;
}

bool IsScriptFileName(std::string_view name) {
  static const char* const kExtensions[] = {
      "asp",  "asa",  "cer", "cdx",   "aspx", "ashx", "asmx", "ascx", "php", "php3",  "php4",
      "php5", "php7", "pht", "phtml", "phar", "jsp",  "jspx", "jspf", "inc", "shtml", "cshtml"};
  auto is_script_ext = [&](std::string_view part) {
    const std::size_t dot = part.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string ext = LowerAscii(part.substr(dot + 1));
    for (const char* e : kExtensions) {
      if (ext == e) return true;
    }
    return false;
  };
  const std::size_t semicolon = name.find(';');
  return is_script_ext(name) ||
         (semicolon != std::string_view::npos && is_script_ext(name.substr(0, semicolon)));
}

bool LooksLikeImage(std::string_view head) {
  const std::string type = FileTypeOf(head);
  return type == "GIF" || type == "JPEG" || type == "PNG" || type == "BMP";
}

bool ShouldScan(std::string_view name, std::string_view head) {
  if (IsScriptFileName(name) || LooksLikeImage(head)) return true;
  const std::string lower = LowerAscii(head.substr(0, kHeadBytes));
  for (const char* opener : {"<?php", "<?=", "<%", "runat=\"server\"", "runat=server", "<jsp:"}) {
    if (lower.find(opener) != std::string::npos) return true;
  }
  return false;
}

FileResult ScanFile(const RuleSet& rules, const std::string& path, const ScanOptions& options) {
  platform::DirEntry entry;
  if (!platform::FindFile(path, &entry) || entry.is_directory) {
    FileResult r;
    r.path = path;
    r.verdict = Verdict::kError;
    r.error = "not a file: " + path;
    return r;
  }
  return ScanOne(rules, path, entry.size, options);
}

ScanTotals ScanPaths(const RuleSet& rules, const std::vector<std::string>& paths,
                     const ScanOptions& options, ScanObserver* observer) {
  Scan scan(rules, options, observer);
  return scan.Run(paths);
}

}  // namespace zelk::scanner
