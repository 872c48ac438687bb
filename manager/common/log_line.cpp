#include "manager/common/log_line.h"

#include "manager/common/errors.h"
#include "platform/files.h"

namespace zelk::manager {

void AppendLogLine(const std::string& line, const std::string& path) {
  std::string error;
  if (!platform::AppendToFile(path, line + "\r\n", &error)) throw ManagerError(error);
}

}  // namespace zelk::manager
