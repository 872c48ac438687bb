#include "filter/backdoor.h"
#include "filter/decode.h"
namespace zelk::filter {
bool IsServerScriptFileName(std::string_view n) { auto p = n.rfind('.'); return p != n.npos && IsScriptExtension(n.substr(p+1)); }
void BackdoorScanner::Feed(std::string_view b) { if (b.find("eval request") != b.npos) found_ = true; }
}
