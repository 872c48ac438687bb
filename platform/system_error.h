// The one text for a failed system call:
//
//   "<call> failed (<code>): <system message>: <path>"
//   e.g. "open failed (13): Permission denied: /srv/网站/a.asp"
//
// The code is errno on POSIX systems and GetLastError() (or a COM call's
// HRESULT, printed in hex) on Windows; the message is the system's own
// (strerrordesc_np, which is never translated, or FormatMessageA in the ANSI
// code page), without its line end. The path is
// kept as it came: GBK bytes, like every path and text of the system. A text
// built here is therefore GBK as a whole and is converted for a terminal once,
// where it is printed (ForTerminal in platform/codepage.h), never before.
#pragma once

#include <cstdint>
#include <string>

namespace zelk::platform {

// The calling thread's last error (errno, or GetLastError()); read it
// straight after the call that failed.
std::uint32_t LastSystemError();

// The system's message for a code.
std::string SystemMessage(std::uint32_t code);

// The text above; without ": <path>" when path is empty.
std::string SystemErrorText(const char* call, std::uint32_t code, const std::string& path);

}  // namespace zelk::platform
