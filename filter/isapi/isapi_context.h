// FilterContext over IIS's filter structures: HTTP_FILTER_CONTEXT for the
// server calls, HTTP_FILTER_SEND_RESPONSE and HTTP_FILTER_ACCESS_DENIED for the
// members of those two notifications. It only translates; the decisions are
// the core's.
//
// One context per notification, used on the thread IIS called the filter on.
// Not copyable.
#pragma once

#include <windows.h>
#include <httpfilt.h>

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

}  // namespace zelk::filter::isapi
