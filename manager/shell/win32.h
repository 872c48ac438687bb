// <windows.h> for the manager's Windows files, without the function-name
// macros that clash with the core's method names (GetObject, ShellExecute,
// DeleteFile). Code here calls the A functions by their full names.
#pragma once

// <windows.h> must come first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
// clang-format on

#undef GetObject
#undef ShellExecute
#undef DeleteFile
