// TEMPORARY STUB
#pragma once
#include <string_view>
namespace zelk::filter {
bool IsServerScriptFileName(std::string_view file_name);
class BackdoorScanner { public: void Feed(std::string_view b); bool found() const { return found_; } private: bool found_ = false; };
}
