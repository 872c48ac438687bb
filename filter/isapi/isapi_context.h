// FilterContexts over IIS's structures. IsapiFilterContext: HTTP_FILTER_CONTEXT
// for the server calls, HTTP_FILTER_SEND_RESPONSE and HTTP_FILTER_ACCESS_DENIED
// for the members of those two notifications. IsapiExtensionContext: the
// wildcard extension's EXTENSION_CONTROL_BLOCK, for the body notification.
// EcbBodySource: the request body as the extension reads it. They only
// translate; the decisions are the core's.
//
// One object per notification (per extension call), used on the thread IIS
// called the module on. None is copyable.
#pragma once

#include <windows.h>  // first: the headers below need its types

#include <httpext.h>
#include <httpfilt.h>

#include <cstddef>
#include <string>

#include "filter/body.h"
#include "filter/context.h"

namespace zelk::filter::isapi {

class IsapiFilterContext final : public FilterContext {
 public:
  // notification is HttpFilterProc's pvNotification; it is read only for the
  // send-response and access-denied notifications.
  IsapiFilterContext(HTTP_FILTER_CONTEXT* pfc, DWORD notification_type, void* notification)
      : pfc_(pfc), type_(notification_type), notification_(notification) {}
  IsapiFilterContext(const IsapiFilterContext&) = delete;
  IsapiFilterContext& operator=(const IsapiFilterContext&) = delete;

  VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) override;
  bool SendResponseHeader(const char* status, const char* extra_headers) override;
  bool WriteClient(const void* bytes, std::uint32_t length) override;
  bool SetHeader(const char* name, const char* value) override;
  std::uint32_t HttpStatus() override;
  const char* PhysicalPath() override;

 private:
  HTTP_FILTER_SEND_RESPONSE* SendResponse() const;

  HTTP_FILTER_CONTEXT* pfc_;
  DWORD type_;
  void* notification_;
};

// The extension's side of a request. The response head goes out through
// HSE_REQ_SEND_RESPONSE_HEADER_EX without keep-alive: the block page carries
// no length, and the body the page was to read may still be on the
// connection, so the connection ends with the page. The response members of
// the filter notifications (SetHeader, HttpStatus, PhysicalPath) do not exist
// here: false, 0 and null.
class IsapiExtensionContext final : public FilterContext {
 public:
  explicit IsapiExtensionContext(EXTENSION_CONTROL_BLOCK* ecb) : ecb_(ecb) {}
  IsapiExtensionContext(const IsapiExtensionContext&) = delete;
  IsapiExtensionContext& operator=(const IsapiExtensionContext&) = delete;

  VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) override;
  bool SendResponseHeader(const char* status, const char* extra_headers) override;
  bool WriteClient(const void* bytes, std::uint32_t length) override;
  bool SetHeader(const char*, const char*) override { return false; }
  std::uint32_t HttpStatus() override { return 0; }
  const char* PhysicalPath() override { return nullptr; }

 private:
  EXTENSION_CONTROL_BLOCK* ecb_;
};

// The request body through the control block: first the bytes the server
// read ahead (lpbData, cbAvailable), then synchronous ReadClient calls until
// cbTotalBytes bytes in all, or, when cbTotalBytes is 0xFFFFFFFF (chunked or
// unknown length), until ReadClient gives 0 bytes. A failed ReadClient, or
// one that claims more bytes than were asked for, ends the body where it is.
//
// Everything taken from the server is kept in taken(), so the extension can
// hand it on to the page: the whole read-ahead block as soon as reading
// begins (even if the rules stop inside it), then each ReadClient's bytes.
// The rules read at most kBodyInspectionCap bytes, so taken() is bounded by
// the cap or the read-ahead block, whichever is larger. Each ReadClient
// writes straight into taken(), grown beforehand: a failed allocation throws
// before anything is taken from the connection, so nothing taken is lost.
class EcbBodySource final : public BodySource {
 public:
  // cbTotalBytes of a body whose length the server does not know.
  static constexpr DWORD kUnknownLength = 0xFFFFFFFF;

  explicit EcbBodySource(EXTENSION_CONTROL_BLOCK* ecb) : ecb_(ecb) {}
  EcbBodySource(const EcbBodySource&) = delete;
  EcbBodySource& operator=(const EcbBodySource&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;

  std::string& taken() { return taken_; }
  bool read_failed() const { return read_failed_; }

 private:
  // Appends the next bytes from ReadClient to taken_; false at the end.
  bool Fetch(std::size_t size);

  EXTENSION_CONTROL_BLOCK* ecb_;
  std::string taken_;
  std::size_t handed_out_ = 0;  // bytes of taken_ given to Read's callers
  bool started_ = false;
  bool ended_ = false;
  bool read_failed_ = false;
};

}  // namespace zelk::filter::isapi
