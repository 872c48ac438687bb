// The worker and its hand-over to the owner's thread.
//
// State shared by the two threads sits in Shared, held by both through a
// shared_ptr, so a batch posted to the owner's thread stays valid after the
// worker has ended. The lock guards the current source, its generation and
// the two flags the worker waits on (terminated, handled); everything the
// delivery touches (active flag, handler, assembler) belongs to the owner's
// thread alone.
//
// The worker waits in exactly three places, each of which Terminate ends at
// once: in the source's Wait (Wake), for a source while none is open and for
// the owner's thread to handle a batch (the condition variable). So joining
// the worker from the owner's thread cannot deadlock, not even from inside
// the handler.
#include "manager/monitor/file_watcher.h"

#include <condition_variable>
#include <exception>
#include <mutex>

#include "platform/files.h"
#include "platform/text.h"

namespace zelk::manager {

std::uint32_t ToWin32Filter(TNotifyFilters filters) {
  std::uint32_t mask = 0;
  for (int m = nfFileNameChange; m <= nfCreationDateChange; ++m) {
    if (filters.Has(static_cast<TNotifyFilter>(m))) mask |= 1u << m;
  }
  if (filters.Has(nfSecurityChange)) mask |= 0x100;
  return mask;
}

struct TShellChangeThread::Shared {
  Shared(OwnerThread& o, TFileDealMethod h, TFileWatchErrorMethod e)
      : owner(o), handler(std::move(h)), on_error(std::move(e)) {}

  OwnerThread& owner;

  std::mutex lock;
  std::condition_variable changed;
  std::shared_ptr<platform::DirChangeSource> source;  // guarded
  std::string source_dir;                             // guarded
  std::uint64_t generation = 0;                       // guarded: bumped on every reopen
  bool terminated = false;                            // guarded
  bool handled = true;                                // guarded

  // The owner's thread only.
  bool active = false;
  TFileDealMethod handler;
  TFileWatchErrorMethod on_error;
  ChangeAssembler assembler;
  std::uint64_t assembler_generation = ~std::uint64_t{0};
  std::string last_error;
};

TShellChangeThread::TShellChangeThread(OwnerThread& owner, TFileDealMethod handler,
                                       TFileWatchErrorMethod on_error)
    : shared_(std::make_shared<Shared>(owner, std::move(handler), std::move(on_error))) {}

TShellChangeThread::~TShellChangeThread() {
  Terminate();
  if (thread_.joinable()) thread_.join();
}

void TShellChangeThread::Configure(const std::string& dir, bool active, std::uint32_t filter_mask,
                                   bool subtree) {
  subtree_ = subtree;
  filter_mask_ = filter_mask;
  dir_ = dir;
  const char separator = platform::PathSeparator();
  if (dir_.empty() || dir_.back() != separator) dir_ += separator;
  shared_->active = active;
  OpenWatch();
}

bool TShellChangeThread::OpenWatch() {
  std::shared_ptr<platform::DirChangeSource> old;
  {
    std::lock_guard<std::mutex> lock(shared_->lock);
    old = std::move(shared_->source);
    shared_->source.reset();
    ++shared_->generation;
  }
  if (old) old->Wake();
  old.reset();  // closed here, or by the worker when it lets go of it

  std::unique_ptr<platform::DirChangeSource> source;
  std::string error;
  if (shared_->active) {
    source = platform::DirChangeSource::Open(dir_, subtree_, filter_mask_, &error);
  }
  const bool opened = source != nullptr;
  {
    std::lock_guard<std::mutex> lock(shared_->lock);
    shared_->source = std::move(source);
    shared_->source_dir = dir_;
    ++shared_->generation;
  }
  shared_->changed.notify_all();
  shared_->last_error = error;
  return opened;
}

void TShellChangeThread::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread(&TShellChangeThread::Execute, shared_);
}

void TShellChangeThread::Terminate() {
  shared_->active = false;
  std::shared_ptr<platform::DirChangeSource> source;
  {
    std::lock_guard<std::mutex> lock(shared_->lock);
    shared_->terminated = true;
    source = shared_->source;
  }
  shared_->changed.notify_all();
  if (source) source->Wake();
}

void TShellChangeThread::SetHandler(TFileDealMethod handler) {
  shared_->handler = std::move(handler);
}

std::string TShellChangeThread::LastError() const { return shared_->last_error; }

void TShellChangeThread::Execute(std::shared_ptr<Shared> shared) {
  try {
    for (;;) {
      std::shared_ptr<platform::DirChangeSource> source;
      std::string dir;
      std::uint64_t generation = 0;
      {
        std::unique_lock<std::mutex> lock(shared->lock);
        if (shared->terminated) break;
        if (!shared->source) {
          // Nothing open (directory missing, or the watch ended): sleep until
          // the owner reopens the watch or ends the worker.
          const std::uint64_t seen = shared->generation;
          shared->changed.wait(lock,
                               [&] { return shared->terminated || shared->generation != seen; });
          continue;
        }
        source = shared->source;
        dir = shared->source_dir;
        generation = shared->generation;
      }

      platform::DirChangeBatch batch;
      const auto result = source->Wait(&batch);
      if (result == platform::DirChangeSource::WaitResult::kWoken) continue;
      if (result == platform::DirChangeSource::WaitResult::kFailed) {
        std::lock_guard<std::mutex> lock(shared->lock);
        if (shared->source == source) shared->source.reset();
        continue;
      }

      {
        std::lock_guard<std::mutex> lock(shared->lock);
        shared->handled = false;
      }
      shared->owner.Post([shared, batch = std::move(batch), dir, generation] {
        DeliverChanges(*shared, batch, dir, generation);
        {
          std::lock_guard<std::mutex> lock(shared->lock);
          shared->handled = true;
        }
        shared->changed.notify_all();
      });
      std::unique_lock<std::mutex> lock(shared->lock);
      shared->changed.wait(lock, [&] { return shared->terminated || shared->handled; });
    }
  } catch (...) {
    // Nothing throws across the thread's edge. What could throw here is an
    // allocation failure; the worker then ends, as told to terminate.
  }
}

// On the owner's thread: the batch's records become changes, delivered one
// by one while the worker is active.
void TShellChangeThread::DeliverChanges(Shared& shared, const platform::DirChangeBatch& batch,
                                        const std::string& dir, std::uint64_t generation) {
  if (generation != shared.assembler_generation) {
    shared.assembler = ChangeAssembler(dir);
    shared.assembler_generation = generation;
  }
  std::vector<FileChange> changes;
  shared.assembler.Add(batch, &changes);
  for (const FileChange& change : changes) {
    if (!shared.active || !shared.handler) return;
    // A copy: the handler may assign a new handler or stop the watcher.
    const TFileDealMethod handler = shared.handler;
    const TFileWatchErrorMethod on_error = shared.on_error;
    try {
      handler(change.operation, change.file_name1, change.file_name2);
    } catch (const std::exception& e) {
      if (on_error) on_error(e.what());
    } catch (...) {
      if (on_error) on_error("unknown error");
    }
  }
}

// TFileWatcher

TFileWatcher::TFileWatcher(OwnerThread& owner) : owner_(owner) {}

TFileWatcher::~TFileWatcher() { StopWorker(); }

void TFileWatcher::SetActived(bool value) {
  if (value == actived_) return;
  actived_ = value;
  ApplySettings();
  if (value) {
    StartWorker();
  } else {
    StopWorker();
  }
}

void TFileWatcher::SetWatchedDir(const std::string& value) {
  if (EqualsIgnoreAsciiCase(value, watched_dir_)) return;
  watched_dir_ = value;
  ApplySettings();
}

void TFileWatcher::SetWatchSubTree(bool value) {
  if (value == watch_sub_tree_) return;
  watch_sub_tree_ = value;
  ApplySettings();
}

void TFileWatcher::SetNotifyFilters(TNotifyFilters value) {
  if (value == notify_filters_) return;
  notify_filters_ = value;
  ApplySettings();
}

void TFileWatcher::SetOnChange(TFileDealMethod handler) {
  on_change_ = std::move(handler);
  if (on_change_ && actived_) {
    StartWorker();
  } else {
    StopWorker();
  }
  ApplySettings();
}

std::string TFileWatcher::LastError() const {
  return worker_ ? worker_->LastError() : std::string();
}

void TFileWatcher::ApplySettings() {
  if (worker_) {
    worker_->Configure(watched_dir_, actived_, ToWin32Filter(notify_filters_), watch_sub_tree_);
  }
}

void TFileWatcher::StartWorker() {
  if (!on_change_) return;
  if (worker_) {
    worker_->SetHandler(on_change_);
    return;
  }
  worker_ = std::make_unique<TShellChangeThread>(owner_, on_change_, on_error_);
  worker_->Configure(watched_dir_, actived_, ToWin32Filter(notify_filters_), watch_sub_tree_);
  worker_->Start();
}

void TFileWatcher::StopWorker() {
  if (!worker_) return;
  worker_->Terminate();
  worker_.reset();
}

}  // namespace zelk::manager
