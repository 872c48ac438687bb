// The quarantine folder: a finding is moved there with its bytes and
// last-write time unchanged, under a neutral name (qN.bin, so that no server
// runs it), beside a record (qN.txt) of where it came from; it can be put
// back from that record. The record is GBK text, one "key=value" per line:
// path, size, time (last-write FILETIME ticks), rules.
//
// Not thread-safe for one folder: callers quarantine one file at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelk::scanner {

struct QuarantineEntry {
  std::string id;             // "q7": the names qN.bin and qN.txt in the folder
  std::string original_path;  // GBK
  std::uint64_t size = 0;
  std::uint64_t last_write_time = 0;  // FILETIME ticks
  std::string rules;                  // "rule1,rule2"
};

// Moves the file into the folder (created when missing) and writes its record.
bool QuarantineFile(const std::string& path, const std::string& dir,
                    const std::vector<std::string>& rules, QuarantineEntry* entry,
                    std::string* error);

// Every record of the folder, by id.
std::vector<QuarantineEntry> ListQuarantine(const std::string& dir);

// Moves the file back to its original path (its folder is created when
// missing) and removes the record. Fails, changing nothing, when a file is
// already there.
bool RestoreFile(const std::string& dir, const QuarantineEntry& entry, std::string* error);

}  // namespace zelk::scanner
