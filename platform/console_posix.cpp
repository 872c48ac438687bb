#include <unistd.h>

#include <iostream>

#include "platform/console.h"

namespace zelk::platform {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

bool ReadInputLine(std::string* line) {
  if (!std::getline(std::cin, *line)) return false;
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

}  // namespace zelk::platform
