// zelkwaf-manager monitor: the site monitor on the command line. Watches a
// web root until interrupted (Ctrl+C), printing each line as it happens and
// appending it to the monitor log, exactly as the window's monitor page
// lists and logs it; defaults come from "Config.ini" as the page shows them.
#pragma once

#include <string>
#include <vector>

#include "manager/common/paths.h"
#include "manager/iis/settings_store.h"

namespace zelk::manager {

inline constexpr int kMonitorExitOk = 0;     // ended by an interrupt
inline constexpr int kMonitorExitUsage = 2;  // bad usage, no such directory, no masks

// args are the arguments after "monitor"; paths are those of an absolute
// manager folder. Lines go to standard output,
// notices and errors to standard error, converted for the terminal; the log
// stays GBK. Returns when the user interrupts the program.
int RunMonitorCommand(const std::vector<std::string>& args, const ManagerPaths& paths,
                      const ManagerSettings& config);

}  // namespace zelk::manager
