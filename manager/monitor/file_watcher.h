// TFileWatcher watches a directory tree and reports every file or folder
// added, removed, modified or renamed in it, one event at a time, on the
// owner's thread, with full paths. Its worker, TShellChangeThread, waits for
// the system's change records on a thread of its own and hands each batch to
// the owner's thread.
//
// Threading rule: a TFileWatcher belongs to the thread that runs its
// OwnerThread, which must outlive it; every method is called there, and the
// handler runs there, never concurrently with itself. The worker blocks while
// the owner's thread handles a batch, so the next read starts only after the
// batch was handled (the system keeps collecting changes meanwhile).
//
// Lifetime: stopping a worker (Actived false, destruction, a new handler of
// none) clears its active flag, so nothing more is delivered, wakes it at
// once and waits for its thread to end, which never waits on the owner's
// thread; a batch already posted but not yet run is then dropped.
//
// Failures: a directory that is missing or cannot be opened is watched for
// nothing and raises nothing (LastError says why). An exception that escapes
// the handler is passed to OnError and the delivery goes on with the next
// change, so a failing handler never ends the watching silently.
//
// Not copyable, not movable.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>

#include "manager/monitor/change_records.h"
#include "manager/monitor/owner_thread.h"

namespace zelk::manager {

enum TNotifyFilter {
  nfFileNameChange,
  nfDirNameChange,
  nfAttributeChange,
  nfSizeChange,
  nfWriteChange,
  nfAccessChange,
  nfCreationDateChange,
  nfSecurityChange,
};

// A set of TNotifyFilter, one bit per member in member order.
class TNotifyFilters {
 public:
  constexpr TNotifyFilters() = default;
  constexpr TNotifyFilters(std::initializer_list<TNotifyFilter> members) {
    for (TNotifyFilter m : members) bits_ = static_cast<std::uint8_t>(bits_ | (1u << m));
  }
  static constexpr TNotifyFilters All() { return TNotifyFilters(0xFF); }
  constexpr bool Has(TNotifyFilter m) const { return (bits_ >> m) & 1u; }
  constexpr std::uint8_t bits() const { return bits_; }
  constexpr bool operator==(TNotifyFilters o) const { return bits_ == o.bits_; }
  constexpr bool operator!=(TNotifyFilters o) const { return bits_ != o.bits_; }

 private:
  constexpr explicit TNotifyFilters(std::uint8_t bits) : bits_(bits) {}
  std::uint8_t bits_ = 0;
};

// The FILE_NOTIFY_CHANGE_* mask: the first seven members are bits 0 to 6,
// nfSecurityChange is 0x100.
std::uint32_t ToWin32Filter(TNotifyFilters filters);

// FileName1 is the full path (the old one for foRenamed, the watched
// directory for foLost); FileName2 the new path of foRenamed, else empty.
using TFileDealMethod = std::function<void(TFileOperation operation, const std::string& file_name1,
                                           const std::string& file_name2)>;
using TFileWatchErrorMethod = std::function<void(const std::string& message)>;

class TShellChangeThread;

class TFileWatcher {
 public:
  explicit TFileWatcher(OwnerThread& owner);
  ~TFileWatcher();
  TFileWatcher(const TFileWatcher&) = delete;
  TFileWatcher& operator=(const TFileWatcher&) = delete;

  // A different value is stored and applied; true starts a worker (when a
  // handler is assigned), false stops it.
  bool Actived() const { return actived_; }
  void SetActived(bool value);

  // Default "C:\". A value that differs other than in letter case is stored
  // and applied (an active watcher reopens the directory at once).
  const std::string& WatchedDir() const { return watched_dir_; }
  void SetWatchedDir(const std::string& value);

  // Default true.
  bool WatchSubTree() const { return watch_sub_tree_; }
  void SetWatchSubTree(bool value);

  // Default {nfFileNameChange, nfDirNameChange}.
  TNotifyFilters NotifyFilters() const { return notify_filters_; }
  void SetNotifyFilters(TNotifyFilters value);

  // Stored; with a handler on an active watcher a worker is started (a
  // running worker takes the new handler instead: there is never a second
  // worker), otherwise any worker is stopped; then the settings are applied.
  const TFileDealMethod& OnChange() const { return on_change_; }
  void SetOnChange(TFileDealMethod handler);

  // Receives what a handler threw. Takes effect for workers started later.
  void SetOnError(TFileWatchErrorMethod handler) { on_error_ = std::move(handler); }

  bool HasWorker() const { return worker_ != nullptr; }
  // Why the worker's directory could not be opened; empty when it is open
  // or there is no worker.
  std::string LastError() const;

 private:
  void ApplySettings();
  void StartWorker();
  void StopWorker();

  OwnerThread& owner_;
  bool actived_ = false;
  std::string watched_dir_ = "C:\\";
  std::unique_ptr<TShellChangeThread> worker_;
  TFileDealMethod on_change_;
  bool watch_sub_tree_ = true;
  TNotifyFilters notify_filters_{nfFileNameChange, nfDirNameChange};
  TFileWatchErrorMethod on_error_;
};

// The watcher's worker. Created by TFileWatcher; usable on its own with the
// same threading rule (every method on the owner's thread).
class TShellChangeThread {
 public:
  TShellChangeThread(OwnerThread& owner, TFileDealMethod handler, TFileWatchErrorMethod on_error);
  // Terminates the worker and waits for its thread, which ends at once.
  ~TShellChangeThread();
  TShellChangeThread(const TShellChangeThread&) = delete;
  TShellChangeThread& operator=(const TShellChangeThread&) = delete;

  // Stores the settings (the directory with a trailing separator added when
  // missing) and the active flag, then reopens the watch: OpenWatch while
  // active, otherwise the old watch is only closed.
  void Configure(const std::string& dir, bool active, std::uint32_t filter_mask, bool subtree);
  // Starts the thread (once).
  void Start();
  // Clears the active flag and wakes the thread, which ends.
  void Terminate();
  void SetHandler(TFileDealMethod handler);
  std::string LastError() const;

 private:
  struct Shared;
  bool OpenWatch();
  static void Execute(std::shared_ptr<Shared> shared);
  static void DeliverChanges(Shared& shared, const platform::DirChangeBatch& batch,
                             const std::string& dir, std::uint64_t generation);

  std::shared_ptr<Shared> shared_;
  std::string dir_;
  bool subtree_ = true;
  std::uint32_t filter_mask_ = 0;
  std::thread thread_;
};

}  // namespace zelk::manager
