// ReadDirectoryChangesW change source through an I/O completion port.
//
// Threading: Open opens the directory, ties it to a completion port of its
// own and issues the first read on the caller's thread, so that changes made
// right after Open are collected. Wait (the watcher's worker) waits on the
// port without time limit and issues each later read just before it waits,
// that is after the previous batch was handled; the system keeps collecting
// changes for the open handle in between. Wake posts an empty packet (key 0,
// no overlapped record) and may run on any thread.
//
// One read is outstanding at a time, into a 64 KB buffer. A read the system
// completes with no bytes, or with ERROR_NOTIFY_ENUM_DIR, means more changes
// happened than its buffer held: the batch is handed out as lost.
//
// The buffer and the overlapped record belong to the system while a read is
// outstanding. The destructor closes the directory handle, which aborts the
// read, and waits for the aborted read's packet before freeing them; should
// that packet not come within a few seconds, the memory is left allocated
// rather than freed under the system's feet. Note for Windows Server 2003:
// I/O is cancelled when the thread that issued it ends, so the thread that
// opens a source must outlive it (the window's thread and the command-line
// tool's main thread do).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/dirwatch.h"
#include "platform/system_error.h"

namespace zelk::platform {
namespace {

constexpr ULONG_PTR kReadKey = 1;  // wake-up packets carry 0
constexpr DWORD kAbortWaitMs = 5000;

struct ReadState {
  OVERLAPPED overlapped;
  DWORD buffer[kDirChangeBufferSize / sizeof(DWORD)];  // DWORD-aligned, as the call requires
};

class Win32Source final : public DirChangeSource {
 public:
  Win32Source(HANDLE dir, HANDLE port, bool subtree, DWORD filter, std::string path)
      : dir_(dir),
        port_(port),
        subtree_(subtree),
        filter_(filter),
        path_(std::move(path)),
        read_(new ReadState()) {}

  ~Win32Source() override {
    CloseHandle(dir_);  // aborts the outstanding read
    while (read_pending_) {
      DWORD bytes = 0;
      ULONG_PTR key = 0;
      LPOVERLAPPED overlapped = nullptr;
      const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, kAbortWaitMs);
      if (overlapped == &read_->overlapped) {
        read_pending_ = false;
      } else if (!ok && overlapped == nullptr) {
        read_.release();  // timed out: the system may still write into it
        break;
      }
    }
    CloseHandle(port_);
  }

  bool IssueRead(std::string* error) {
    std::memset(&read_->overlapped, 0, sizeof read_->overlapped);
    DWORD bytes = 0;
    if (!ReadDirectoryChangesW(dir_, read_->buffer, sizeof read_->buffer, subtree_ ? TRUE : FALSE,
                               filter_, &bytes, &read_->overlapped, nullptr)) {
      if (error) *error = SystemErrorText("ReadDirectoryChangesW", LastSystemError(), path_);
      return false;
    }
    read_pending_ = true;
    return true;
  }

  WaitResult Wait(DirChangeBatch* batch) override {
    if (!read_pending_ && !IssueRead(nullptr)) return WaitResult::kFailed;
    DWORD bytes = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    const BOOL ok = GetQueuedCompletionStatus(port_, &bytes, &key, &overlapped, INFINITE);
    if (overlapped == nullptr) return ok ? WaitResult::kWoken : WaitResult::kFailed;
    read_pending_ = false;
    batch->records.clear();
    batch->lost = false;
    if (!ok) {
      if (GetLastError() != ERROR_NOTIFY_ENUM_DIR) return WaitResult::kFailed;
      batch->lost = true;
      return WaitResult::kChanges;
    }
    if (bytes == 0) {
      batch->lost = true;
      return WaitResult::kChanges;
    }
    const auto* data = reinterpret_cast<const unsigned char*>(read_->buffer);
    batch->records.assign(data, data + std::min<std::size_t>(bytes, sizeof read_->buffer));
    return WaitResult::kChanges;
  }

  void Wake() override { PostQueuedCompletionStatus(port_, 0, 0, nullptr); }

 private:
  const HANDLE dir_;
  const HANDLE port_;
  const bool subtree_;
  const DWORD filter_;
  const std::string path_;
  std::unique_ptr<ReadState> read_;
  bool read_pending_ = false;
};

HANDLE g_interrupt_event = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  SetEvent(g_interrupt_event);
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);  // a second interrupt ends the program
  return TRUE;
}

}  // namespace

std::unique_ptr<DirChangeSource> DirChangeSource::Open(const std::string& dir, bool subtree,
                                                       std::uint32_t filter, std::string* error,
                                                       bool* not_found) {
  if (not_found) *not_found = false;
  HANDLE handle =
      CreateFileA(dir.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (not_found) *not_found = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
    *error = SystemErrorText("CreateFileA", code, dir);
    return nullptr;
  }
  HANDLE port = CreateIoCompletionPort(handle, nullptr, kReadKey, 0);
  if (port == nullptr) {
    *error = SystemErrorText("CreateIoCompletionPort", LastSystemError(), dir);
    CloseHandle(handle);
    return nullptr;
  }
  auto source = std::make_unique<Win32Source>(handle, port, subtree, filter, dir);
  if (!source->IssueRead(error)) return nullptr;
  return source;
}

void CallOnInterrupt(std::function<void()> handler) {
  g_interrupt_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_interrupt_event == nullptr) return;
  std::thread([handler = std::move(handler)] {
    WaitForSingleObject(g_interrupt_event, INFINITE);
    handler();
  }).detach();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

}  // namespace zelk::platform
