// AppendLogLine: the manager's logs (tamper log, monitor log) and snapshot
// files grow one line at a time, and each line is on disk before the call
// returns: the file is created when missing, opened for appending, written
// and closed again on every call; nothing is buffered between calls.
#pragma once

#include <string>

namespace zelk::manager {

// Appends line + CR LF to the file at path. Throws ManagerError (with the
// system's reason) when the file cannot be created, opened or written.
void AppendLogLine(const std::string& line, const std::string& path);

}  // namespace zelk::manager
