// zelkwaf-manager status | install | uninstall: the main page's installation
// state and its install and uninstall buttons, on the command line.
//
// The commands work on a manager folder's path set (its "IIS" folder holds the
// filter module and its files) and on whatever metabase the caller hands in:
// on a system without IIS that is UnavailableMetabase, so status reports
// "未安装" and install fails with the message the window would show.
//
// Messages the window shows in its message box go to the given ManagerUi's
// MsgBox; an error that ends a procedure goes to its ShowError. The
// state line and the help go to out, usage errors to err, converted for the
// terminal. Files written stay GBK.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "manager/common/paths.h"
#include "manager/common/ui.h"
#include "manager/iis/metabase.h"

namespace zelk::manager {

inline constexpr int kIisExitOk = 0;
inline constexpr int kIisExitFailed = 1;  // not installed, refused, or an error
inline constexpr int kIisExitUsage = 2;

// True for "status", "install" and "uninstall".
bool IsIisCommand(const std::string& command);

// Runs one of the three commands; args are the arguments after the command
// name (only --help is known).
int RunIisCommand(const std::string& command, const std::vector<std::string>& args,
                  Metabase& metabase, const ManagerPaths& paths, ManagerUi& ui, std::ostream& out,
                  std::ostream& err);

// The same on this system's metabase (MakeSystemMetabase: IIS through ADSI on
// Windows), printing to standard output and error.
int RunIisCommandOnSystem(const std::string& command, const std::vector<std::string>& args,
                          const ManagerPaths& paths, ManagerUi& ui);

// The usage text of the three commands (GBK).
std::string IisCommandsUsage();

}  // namespace zelk::manager
