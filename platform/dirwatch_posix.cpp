// inotify change source.
//
// Threading: Open builds the source on the caller's thread before anyone else
// sees it; after that only Wait (one thread at a time) touches the folder map
// and the batches, and Wake only writes to an eventfd, which Wait polls beside
// the inotify descriptor. No time-outs, except one short wait for the
// new-name half of a rename whose old name ended a read.
//
// inotify watches single folders, so a recursive watch keeps one watch per
// folder, mapped to the folder's path relative to the watched directory:
//  - a folder created in the tree is watched at once and then read, and what
//    it already holds is reported as added (files created between the
//    folder's creation and its watch would otherwise go unseen; a file may
//    then be reported twice);
//  - a folder moved in from outside is watched with what it holds, and only
//    the folder is reported, as Windows does;
//  - a folder renamed inside the tree keeps its watches under the new path;
//  - a folder moved out of the tree loses its watches.
// A move is reported as a rename when both halves arrive (inotify pairs them
// by cookie), as removed when only the old half does and as added when only
// the new half does. After a queue overflow the tree is walked again so that
// folders created in the lost stretch are watched too.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/dirwatch.h"
#include "platform/native_path_posix.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace zelk::platform {
namespace {

// How long a rename's old name waits for its new name before it is taken for
// a move out of the tree. The kernel queues both halves together, so the
// partner is normally in the same read.
constexpr int kMovePairWaitMs = 20;

constexpr std::uint32_t kAttributeBits = kNotifyChangeAttributes | kNotifyChangeLastWrite |
                                         kNotifyChangeCreation | kNotifyChangeSecurity;

// A name on disk as the record carries it: UTF-8 decoded, anything else
// taken as GBK bytes (see platform/files.h).
std::u16string NameToUtf16(const std::string& name) {
  if (IsAscii(name)) return std::u16string(name.begin(), name.end());
  std::u16string out;
  if (DecodeUtf8(name, &out)) return out;
  return GbkToUtf16(name);
}

std::uint32_t InotifyMask(std::uint32_t filter) {
  // Creation, deletion and moves are always watched: the folder map follows them.
  std::uint32_t mask =
      IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR | IN_DONT_FOLLOW;
  if (filter & (kNotifyChangeSize | kNotifyChangeLastWrite)) mask |= IN_MODIFY;
  if (filter & kAttributeBits) mask |= IN_ATTRIB;
  if (filter & kNotifyChangeLastAccess) mask |= IN_ACCESS;
  return mask;
}

class InotifySource final : public DirChangeSource {
 public:
  InotifySource(int fd, int wake_fd, std::string root, bool subtree, std::uint32_t filter)
      : fd_(fd),
        wake_fd_(wake_fd),
        root_(std::move(root)),
        subtree_(subtree),
        filter_(filter),
        mask_(InotifyMask(filter)) {}

  ~InotifySource() override {
    ::close(fd_);
    ::close(wake_fd_);
  }

  // Watches the folder root_ + rel (rel "" is the root) and, for a recursive
  // watch, every folder below it. With report_contents every entry found
  // below it is reported as added. Returns false when the folder itself could
  // not be watched (*error says why).
  bool WatchTree(const std::string& rel, bool report_contents, std::string* error) {
    const std::string path = root_ + rel;
    const int wd = inotify_add_watch(fd_, path.c_str(), mask_);
    if (wd < 0) {
      const std::uint32_t err = LastSystemError();
      if (error) *error = SystemErrorText("inotify_add_watch", err, FromNativeName(path));
      // A folder that vanished again needs no watch; one that cannot be
      // watched for lack of watches leaves a blind spot the user must hear of.
      if (err == ENOSPC || err == ENOMEM) MarkLost();
      return false;
    }
    dirs_[wd] = rel.empty() ? std::string() : rel + "/";
    if (!subtree_) return true;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return true;
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      const std::string child = rel.empty() ? e->d_name : rel + "/" + e->d_name;
      bool is_dir = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        is_dir = ::lstat((root_ + child).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      entries.emplace_back(child, is_dir);
    }
    ::closedir(dir);
    for (const auto& [child, is_dir] : entries) {
      if (report_contents) EmitName(kNotifyAdded, child, is_dir);
      if (is_dir) WatchTree(child, report_contents, nullptr);
    }
    return true;
  }

  WaitResult Wait(DirChangeBatch* batch) override {
    for (;;) {
      if (!ready_.empty()) {
        *batch = std::move(ready_.front());
        ready_.pop_front();
        return WaitResult::kChanges;
      }
      if (failed_) return WaitResult::kFailed;
      pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {fd_, POLLIN, 0}};
      const int n = ::poll(fds, 2, pending_move_ ? kMovePairWaitMs : -1);
      if (n < 0) {
        if (errno == EINTR) continue;
        return WaitResult::kFailed;
      }
      if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        (void)!::read(wake_fd_, &count, sizeof count);
        return WaitResult::kWoken;
      }
      if (n == 0) {  // the old name's partner did not come: moved out of the tree
        FlushPendingMove();
        FinishBatch();
        continue;
      }
      if (fds[1].revents & POLLIN) {
        const ssize_t len = ::read(fd_, buf_, sizeof buf_);
        if (len < 0) {
          if (errno == EINTR || errno == EAGAIN) continue;
          return WaitResult::kFailed;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= len;) {
          const auto* ev = reinterpret_cast<const inotify_event*>(buf_ + at);
          HandleEvent(*ev);
          at += sizeof(inotify_event) + ev->len;
        }
        FinishBatch();
      } else if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        return WaitResult::kFailed;
      }
    }
  }

  void Wake() override {
    const std::uint64_t one = 1;
    (void)!::write(wake_fd_, &one, sizeof one);
  }

 private:
  struct PendingMove {
    std::uint32_t cookie;
    std::string rel;
    bool is_dir;
  };

  void HandleEvent(const inotify_event& ev) {
    if (ev.mask & IN_Q_OVERFLOW) {
      pending_move_.reset();
      MarkLost();
      WatchTree("", false, nullptr);
      return;
    }
    const auto it = dirs_.find(ev.wd);
    if (ev.mask & IN_IGNORED) {
      if (it != dirs_.end()) {
        if (it->second.empty()) failed_ = true;  // the watched directory itself is gone
        dirs_.erase(it);
      }
      return;
    }
    // Events about a watched folder itself carry no name; its parent reports them.
    if (it == dirs_.end() || ev.len == 0 || ev.name[0] == '\0') return;
    const std::string rel = it->second + ev.name;
    const bool is_dir = (ev.mask & IN_ISDIR) != 0;
    const bool pairs =
        pending_move_ && (ev.mask & IN_MOVED_TO) && ev.cookie == pending_move_->cookie;
    if (pending_move_ && !pairs) FlushPendingMove();

    if (ev.mask & IN_CREATE) {
      EmitName(kNotifyAdded, rel, is_dir);
      if (is_dir && subtree_) WatchTree(rel, true, nullptr);
    } else if (ev.mask & IN_DELETE) {
      EmitName(kNotifyRemoved, rel, is_dir);
    } else if (ev.mask & IN_MOVED_FROM) {
      pending_move_ = PendingMove{ev.cookie, rel, is_dir};
    } else if (ev.mask & IN_MOVED_TO) {
      if (pairs) {
        EmitName(kNotifyRenamedOldName, pending_move_->rel, is_dir);
        EmitName(kNotifyRenamedNewName, rel, is_dir);
        if (is_dir) RenameWatches(pending_move_->rel, rel);
        pending_move_.reset();
      } else {
        EmitName(kNotifyAdded, rel, is_dir);
        if (is_dir && subtree_) WatchTree(rel, false, nullptr);
      }
    } else if (ev.mask & IN_MODIFY) {
      Emit(kNotifyModified, rel);
    } else if (ev.mask & IN_ATTRIB) {
      Emit(kNotifyModified, rel);
    } else if (ev.mask & IN_ACCESS) {
      Emit(kNotifyModified, rel);
    }
  }

  // A move whose new half never came: the item left the tree.
  void FlushPendingMove() {
    if (!pending_move_) return;
    EmitName(kNotifyRemoved, pending_move_->rel, pending_move_->is_dir);
    if (pending_move_->is_dir) UnwatchTree(pending_move_->rel);
    pending_move_.reset();
  }

  void RenameWatches(const std::string& from, const std::string& to) {
    const std::string old_prefix = from + "/";
    const std::string new_prefix = to + "/";
    for (auto& [wd, rel] : dirs_) {
      if (rel.compare(0, old_prefix.size(), old_prefix) == 0) {
        rel = new_prefix + rel.substr(old_prefix.size());
      }
    }
  }

  void UnwatchTree(const std::string& rel_dir) {
    const std::string prefix = rel_dir + "/";
    for (auto it = dirs_.begin(); it != dirs_.end();) {
      if (it->second.compare(0, prefix.size(), prefix) == 0) {
        inotify_rm_watch(fd_, it->first);
        it = dirs_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Name changes are reported for files or folders as the filter asks.
  void EmitName(std::uint32_t action, const std::string& rel, bool is_dir) {
    if (filter_ & (is_dir ? kNotifyChangeDirName : kNotifyChangeFileName)) Emit(action, rel);
  }

  void Emit(std::uint32_t action, const std::string& rel) {
    const std::u16string name = NameToUtf16(rel);
    const std::size_t size = (12 + name.size() * 2 + 3) & ~static_cast<std::size_t>(3);
    if (!current_.records.empty() && current_.records.size() + size > kDirChangeBufferSize) {
      FinishBatch();
    }
    AppendNotifyRecord(&current_.records, &prev_, action, name);
  }

  void MarkLost() {
    FinishBatch();
    current_.lost = true;
  }

  void FinishBatch() {
    if (current_.records.empty() && !current_.lost) return;
    ready_.push_back(std::move(current_));
    current_ = DirChangeBatch();
    prev_ = std::string::npos;
  }

  const int fd_;
  const int wake_fd_;
  const std::string root_;  // ends with '/'
  const bool subtree_;
  const std::uint32_t filter_;
  const std::uint32_t mask_;
  std::unordered_map<int, std::string> dirs_;  // watch -> folder relative to root_, "" or "a/b/"
  std::optional<PendingMove> pending_move_;
  std::deque<DirChangeBatch> ready_;
  DirChangeBatch current_;
  std::size_t prev_ = std::string::npos;
  bool failed_ = false;
  alignas(inotify_event) char buf_[kDirChangeBufferSize];
};

int g_interrupt_pipe[2] = {-1, -1};

extern "C" void OnInterruptSignal(int) {
  const int saved = errno;
  const char byte = 1;
  (void)!::write(g_interrupt_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

std::unique_ptr<DirChangeSource> DirChangeSource::Open(const std::string& dir, bool subtree,
                                                       std::uint32_t filter, std::string* error,
                                                       bool* not_found) {
  if (not_found) *not_found = false;
  struct stat st {};
  const std::string native = NativePath(dir);
  const int err = dir.empty()                        ? ENOENT
                  : ::stat(native.c_str(), &st) != 0 ? errno
                  : !S_ISDIR(st.st_mode)             ? ENOTDIR
                                                     : 0;
  if (err != 0) {
    if (not_found) *not_found = (err == ENOENT || err == ENOTDIR);
    *error = SystemErrorText("stat", err, dir);
    return nullptr;
  }
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    *error = SystemErrorText("inotify_init1", LastSystemError(), dir);
    return nullptr;
  }
  const int wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd < 0) {
    *error = SystemErrorText("eventfd", LastSystemError(), dir);
    ::close(fd);
    return nullptr;
  }
  std::string root = native;
  if (root.back() != '/') root += '/';
  auto source = std::make_unique<InotifySource>(fd, wake_fd, std::move(root), subtree, filter);
  if (!source->WatchTree("", false, error)) return nullptr;
  return source;
}

void CallOnInterrupt(std::function<void()> handler) {
  if (::pipe2(g_interrupt_pipe, O_CLOEXEC) != 0) return;
  std::thread([handler = std::move(handler)] {
    char byte = 0;
    while (::read(g_interrupt_pipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    handler();
  }).detach();
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  action.sa_flags = SA_RESETHAND | SA_RESTART;  // a second interrupt ends the program
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace zelk::platform
