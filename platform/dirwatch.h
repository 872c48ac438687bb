// Directory change sources: the operating system's change notifications for
// one directory tree, handed out as batches of change records.
//
// Every source produces records in the Win32 FILE_NOTIFY_INFORMATION layout
// (next-record offset, action, name length in bytes, then the name in
// UTF-16LE relative to the watched directory, records 4-byte aligned), so one
// parser (manager/monitor/change_records.h) reads what every platform yields:
//  - Windows: ReadDirectoryChangesW through an I/O completion port, into a
//    64 KB buffer; the buffer is handed out as the system filled it.
//  - Linux: inotify, recursive when asked (new subfolders are watched as they
//    appear), its events encoded into the same layout in the order they
//    happened, each old-name record directly followed by its new-name record.
//    Paths follow the rule of platform/files.h: the watched directory is a
//    GBK path, converted to UTF-8 for the system; names on disk are taken as
//    UTF-8, and a name that is not valid UTF-8 is passed through as it stands
//    (its bytes taken as GBK).
//
// Threading: Open and the destructor run on any thread; Wait runs on one
// thread at a time (the watcher's worker); Wake may be called from any
// thread, also while Wait blocks. A source is not copyable.
//
// Limits: changes that do not fit into the system's buffer between two
// Waits are lost; the next batch then says so (`lost`) instead of staying
// silent. On Linux the number of watched folders is bounded by the kernel's
// max_user_watches; folders that cannot be watched are reported as lost
// changes once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zelk::platform {

// FILE_NOTIFY_INFORMATION actions.
inline constexpr std::uint32_t kNotifyAdded = 1;
inline constexpr std::uint32_t kNotifyRemoved = 2;
inline constexpr std::uint32_t kNotifyModified = 3;
inline constexpr std::uint32_t kNotifyRenamedOldName = 4;
inline constexpr std::uint32_t kNotifyRenamedNewName = 5;

// The Win32 FILE_NOTIFY_CHANGE_* bits a watch is asked for.
inline constexpr std::uint32_t kNotifyChangeFileName = 0x1;
inline constexpr std::uint32_t kNotifyChangeDirName = 0x2;
inline constexpr std::uint32_t kNotifyChangeAttributes = 0x4;
inline constexpr std::uint32_t kNotifyChangeSize = 0x8;
inline constexpr std::uint32_t kNotifyChangeLastWrite = 0x10;
inline constexpr std::uint32_t kNotifyChangeLastAccess = 0x20;
inline constexpr std::uint32_t kNotifyChangeCreation = 0x40;
inline constexpr std::uint32_t kNotifyChangeSecurity = 0x100;

// Bytes one read may fill. Windows needs at most 64 KB for watches of
// network folders; larger buffers gain nothing there.
inline constexpr std::size_t kDirChangeBufferSize = 64 * 1024;

// Appends one record in the FILE_NOTIFY_INFORMATION layout to buffer and
// links the previous record to it (prev_offset: where the previous record
// starts, or npos for the first record; updated to the new record).
void AppendNotifyRecord(std::vector<unsigned char>* buffer, std::size_t* prev_offset,
                        std::uint32_t action, std::u16string_view name);

struct DirChangeBatch {
  std::vector<unsigned char> records;  // FILE_NOTIFY_INFORMATION records, may be empty
  bool lost = false;                   // changes were dropped before these records
};

class DirChangeSource {
 public:
  enum class WaitResult {
    kChanges,  // *batch holds what happened
    kWoken,    // Wake was called
    kFailed,   // the watch ended (the directory was removed or became unreadable)
  };

  // Opens dir (with or without a trailing separator) and starts collecting
  // changes at once: everything that happens after Open returns is reported
  // by later Waits. filter is a set of kNotifyChange* bits. On failure
  // returns null and sets *error (platform/system_error.h); *not_found tells
  // a missing directory from others.
  static std::unique_ptr<DirChangeSource> Open(const std::string& dir, bool subtree,
                                               std::uint32_t filter, std::string* error,
                                               bool* not_found = nullptr);

  virtual ~DirChangeSource() = default;
  DirChangeSource(const DirChangeSource&) = delete;
  DirChangeSource& operator=(const DirChangeSource&) = delete;

  // Blocks without time limit until changes arrive or Wake is called.
  virtual WaitResult Wait(DirChangeBatch* batch) = 0;

  // Makes the Wait in progress return kWoken at once, or the next one when
  // none is in progress.
  virtual void Wake() = 0;

 protected:
  DirChangeSource() = default;
};

// Calls handler once, on a thread of its own, when the user interrupts the
// program (Ctrl+C, or SIGTERM on POSIX systems); a second interrupt ends the
// program the usual way. For command-line tools that watch until
// interrupted: the handler may lock and notify, since it does not run inside
// a signal handler. Call at most once per process.
void CallOnInterrupt(std::function<void()> handler);

}  // namespace zelk::platform
