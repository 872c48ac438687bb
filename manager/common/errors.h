// The error a manager operation raises when it cannot go on (a file that
// cannot be written or read). Its text is shown to the user as it stands, in
// the window's general error box or on the command line's standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace zelk::manager {

class ManagerError : public std::runtime_error {
 public:
  explicit ManagerError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace zelk::manager
