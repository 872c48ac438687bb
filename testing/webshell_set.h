// The web-shell tuning set beside the repository (../shared/webshell): its
// two .tar.xz archives read into memory (never unpacked to disk, so no
// sample lands where a server could run it), and the hold-out rule every
// test that measures detection on it shares.
#pragma once

#include <string>
#include <vector>

namespace zelk::testing {

struct ArchiveMember {
  std::string name;  // LABEL/LANGUAGE/NAME.EXT
  std::string data;
};

// The regular files of a .tar.xz archive (ustar and GNU long names).
bool ReadTarXz(const std::string& path, std::vector<ArchiveMember>* members, std::string* error);

// The set's folder, with a trailing '/': source_dir + "/../shared/webshell/".
std::string WebShellSetDir(const std::string& source_dir);

// Both archives of the set; false with *error when either is missing or
// broken.
bool ReadWebShellSet(const std::string& source_dir, std::vector<ArchiveMember>* members,
                     std::string* error);

// The files whose name (the first hex digits of their sha256) starts with 0
// or 1 are kept out of tuning: an eighth of the set, chosen by content hash.
bool IsHoldOut(const std::string& member);

// "malicious/php" from "malicious/php/0123abcd.php"; empty when the name has
// no such prefix.
std::string LabelAndLanguage(const std::string& member);

}  // namespace zelk::testing
