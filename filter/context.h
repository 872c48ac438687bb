// FilterContext: what the request logic needs of the web server during one
// notification. Each operation is named after the ISAPI member that provides
// it on IIS; a host (the ISAPI adapter, the command-line host, a test) only
// translates its own structures into these calls.
//
// A context lives for one notification and is used from one thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zelk::filter {

// Filter status codes returned to the server (values of the ISAPI constants
// SF_STATUS_REQ_FINISHED and SF_STATUS_REQ_NEXT_NOTIFICATION).
enum FilterStatus : std::uint32_t {
  kStatusReqFinished = 0x08000000,
  kStatusReqNextNotification = 0x08000002,
};

// Notification types handled (values of the ISAPI SF_NOTIFY_* constants).
enum NotificationType : std::uint32_t {
  kNotifyPreprocHeaders = 0x4000,
  kNotifyAccessDenied = 0x800,
  kNotifySendResponse = 0x40,
};

enum class VariableResult {
  kOk,        // value and a NUL copied; *size = bytes copied including the NUL
  kMissing,   // the server has no such variable (or the call failed)
  kTooSmall,  // the buffer is too small; *size = bytes needed including the NUL
};

// For hosts that hold their variables as strings: copies value and a NUL
// into buffer under GetServerVariable's size protocol.
inline VariableResult CopyServerVariable(std::string_view value, char* buffer,
                                         std::uint32_t* size) {
  const std::uint32_t needed = static_cast<std::uint32_t>(value.size() + 1);
  if (*size < needed) {
    *size = needed;
    return VariableResult::kTooSmall;
  }
  if (!value.empty()) std::memcpy(buffer, value.data(), value.size());
  buffer[value.size()] = '\0';
  *size = needed;
  return VariableResult::kOk;
}

class FilterContext {
 public:
  virtual ~FilterContext() = default;

  // GetServerVariable: *size holds the buffer size on entry.
  virtual VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) = 0;

  // The whole value of a variable as *value; false when it is missing. The
  // default asks GetServerVariable (with a larger buffer when the value does
  // not fit) and keeps the bytes in *storage. A host that holds the value in
  // memory of its own, alive until the notification returns, points *value
  // there and saves the copy; storage is for what it has to build. The name
  // ends in a NUL (name.data() is a C string: the request logic passes
  // literals); it comes with its length so that a host need not measure it.
  virtual bool ReadVariable(std::string_view name, std::string* storage, std::string_view* value);

  // ServerSupportFunction(SF_REQ_SEND_RESPONSE_HEADER, status, extra_headers):
  // sends the status line ("200 OK") and the server's standard headers,
  // followed by extra_headers when not null.
  virtual bool SendResponseHeader(const char* status, const char* extra_headers) = 0;

  // WriteClient: writes the bytes to the client connection as they are.
  virtual bool WriteClient(const void* bytes, std::uint32_t length) = 0;

  // HTTP_FILTER_SEND_RESPONSE members, used during the send-response
  // notification only. SetHeader's name carries its colon ("Server:"); a null
  // value removes the header. Name and value are string literals, so a host
  // may point its response at them instead of copying them.
  virtual bool SetHeader(const char* name, const char* value) = 0;
  virtual std::uint32_t HttpStatus() = 0;

  // HTTP_FILTER_ACCESS_DENIED.pszPhysicalPath, used during the access-denied
  // notification only.
  virtual const char* PhysicalPath() = 0;
};

}  // namespace zelk::filter
