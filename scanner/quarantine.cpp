#include "scanner/quarantine.h"

#include <algorithm>
#include <cstdlib>

#include "platform/file_info.h"
#include "platform/files.h"

namespace zelk::scanner {
namespace {

std::string Slash(const std::string& dir) {
  return !dir.empty() && (dir.back() == '/' || dir.back() == '\\')
             ? dir
             : dir + platform::PathSeparator();
}

// The folder part of a GBK path: up to the last separator that is not the
// second byte of a double-byte character.
std::string ParentDir(const std::string& path) {
  std::size_t cut = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
      ++i;
    } else if (c == '/' || c == '\\') {
      cut = i;
    }
  }
  return cut == std::string::npos ? "" : path.substr(0, cut);
}

bool ParseRecord(const std::string& text, QuarantineEntry* e) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    at = end + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "path") e->original_path = value;
    if (key == "size") e->size = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "time") e->last_write_time = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "rules") e->rules = value;
  }
  return !e->original_path.empty();
}

}  // namespace

bool QuarantineFile(const std::string& path, const std::string& dir,
                    const std::vector<std::string>& rules, QuarantineEntry* entry,
                    std::string* error) {
  platform::DirEntry found;
  if (!platform::FindFile(path, &found) || found.is_directory) {
    *error = "not a file: " + path;
    return false;
  }
  const std::string folder = Slash(dir);
  if (!platform::CreateDirectories(folder)) {
    *error = "cannot create " + folder;
    return false;
  }
  // The first free number.
  int n = 1;
  platform::DirEntry taken;
  while (platform::FindFile(folder + "q" + std::to_string(n) + ".txt", &taken) ||
         platform::FindFile(folder + "q" + std::to_string(n) + ".bin", &taken)) {
    ++n;
  }
  QuarantineEntry e;
  e.id = "q" + std::to_string(n);
  e.original_path = platform::AbsolutePath(path);
  e.size = found.size;
  e.last_write_time = found.last_write_time;
  for (const std::string& r : rules) e.rules += (e.rules.empty() ? "" : ",") + r;
  const std::string record = "path=" + e.original_path + "\r\nsize=" + std::to_string(e.size) +
                             "\r\ntime=" + std::to_string(e.last_write_time) +
                             "\r\nrules=" + e.rules + "\r\n";
  if (!platform::WriteWholeFile(folder + e.id + ".txt", record, error)) return false;
  if (!platform::MoveFileKeepingTime(path, folder + e.id + ".bin", error)) {
    std::string ignored;
    platform::RemoveFile(folder + e.id + ".txt", &ignored);
    return false;
  }
  *entry = e;
  return true;
}

std::vector<QuarantineEntry> ListQuarantine(const std::string& dir) {
  std::vector<QuarantineEntry> out;
  const std::string folder = Slash(dir);
  const auto e = platform::DirEnumerator::Open(folder);
  platform::DirEntry item;
  while (e && e->Next(&item)) {
    if (item.is_directory || item.name.size() < 6 || item.name[0] != 'q' ||
        item.name.substr(item.name.size() - 4) != ".txt") {
      continue;
    }
    std::string text, error;
    QuarantineEntry q;
    q.id = item.name.substr(0, item.name.size() - 4);
    if (platform::ReadWholeFile(folder + item.name, &text, &error) && ParseRecord(text, &q)) {
      out.push_back(q);
    }
  }
  std::sort(out.begin(), out.end(), [](const QuarantineEntry& a, const QuarantineEntry& b) {
    return std::atoi(a.id.c_str() + 1) < std::atoi(b.id.c_str() + 1);
  });
  return out;
}

bool RestoreFile(const std::string& dir, const QuarantineEntry& entry, std::string* error) {
  const std::string folder = Slash(dir);
  platform::DirEntry existing;
  if (platform::FindFile(entry.original_path, &existing)) {
    *error = "already exists: " + entry.original_path;
    return false;
  }
  const std::string parent = ParentDir(entry.original_path);
  if (!parent.empty()) platform::CreateDirectories(parent);
  if (!platform::MoveFileKeepingTime(folder + entry.id + ".bin", entry.original_path, error)) {
    return false;
  }
  return platform::RemoveFile(folder + entry.id + ".txt", error);
}

}  // namespace zelk::scanner
