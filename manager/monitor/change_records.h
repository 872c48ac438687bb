// Change records: the FILE_NOTIFY_INFORMATION buffers a directory change
// source hands out (platform/dirwatch.h), turned into the watcher's events.
//
// Both steps are pure: ParseChangeRecords reads bytes, ChangeAssembler turns
// records into events. Neither ever reads outside the buffer it is given,
// whatever the buffer holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dirwatch.h"

namespace zelk::manager {

// The kind of a change. foLost is ours: the system dropped changes (more
// happened than its buffer held), so some went unseen.
enum TFileOperation { foAdded = 0, foRemoved = 1, foModified = 2, foRenamed = 3, foLost = 4 };

struct ChangeRecord {
  std::uint32_t action = 0;  // 1 added, 2 removed, 3 modified, 4 old name, 5 new name
  std::string name;          // GBK, relative to the watched directory, as recorded
};

// The records of one buffer, in order. Each record is a next-record offset,
// an action and a name length (32-bit little-endian each), then the name in
// UTF-16LE, converted here to GBK (a character GBK cannot hold becomes '?'; a
// NUL ends the name, as no file name holds one). The walk ends after the
// record whose next offset is 0, and also at a record that does not lie
// wholly inside the buffer (dropped) or whose next offset would step back
// into it or past the end (taken, then the walk ends): a hostile buffer costs
// at most one pass over its bytes.
std::vector<ChangeRecord> ParseChangeRecords(const unsigned char* data, std::size_t size);

struct FileChange {
  TFileOperation operation = foAdded;
  std::string file_name1;  // full path (old path of a rename; the directory for foLost)
  std::string file_name2;  // new path of a rename, else empty
  bool operator==(const FileChange& o) const {
    return operation == o.operation && file_name1 == o.file_name1 && file_name2 == o.file_name2;
  }
};

// Turns the batches of one watched directory into changes, in record order:
//  - records 1, 2 and 3 give foAdded, foRemoved and foModified;
//  - a record 4 (old name) waits for the record 5 (new name) that follows it
//    and the pair gives one foRenamed; the old name is kept across batches,
//    so a rename split between two reads is not lost; a record 5 without an
//    old name before it is dropped, and so is an old name that is followed
//    by another change instead of its new name;
//  - a batch marked lost gives one foLost (with the directory as its path)
//    before its records, and forgets a waiting old name, whose partner may
//    have been among the lost changes;
//  - the path is the directory followed by the name stripped of blanks and
//    control characters at both ends; an empty name gives an empty path.
// Copyable; not thread-safe.
class ChangeAssembler {
 public:
  // dir ends with the platform's path separator.
  explicit ChangeAssembler(std::string dir = std::string()) : dir_(std::move(dir)) {}

  void Add(const platform::DirChangeBatch& batch, std::vector<FileChange>* changes);
  void Add(const std::vector<ChangeRecord>& records, std::vector<FileChange>* changes);

  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  bool rename_pending_ = false;
  std::string old_path_;
};

}  // namespace zelk::manager
