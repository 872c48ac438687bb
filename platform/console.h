// The command-line tools' view of their console or terminal.
#pragma once

#include <cstdio>
#include <string>

namespace zelk::platform {

// True when the stream is an interactive terminal or console.
bool IsTerminal(std::FILE* stream);

// Reads one line from standard input without its line end; false at the end
// of input.
bool ReadInputLine(std::string* line);

}  // namespace zelk::platform
