#include "filter/isapi/isapi_context.h"

namespace zelk::filter::isapi {

VariableResult IsapiFilterContext::GetServerVariable(const char* name, char* buffer, std::uint32_t* size) {
  if (pfc_->GetServerVariable == nullptr) return VariableResult::kMissing;
  DWORD n = *size;
  SetLastError(ERROR_SUCCESS);
  if (pfc_->GetServerVariable(pfc_, const_cast<char*>(name), buffer, &n)) {
    // A server that claims more than the buffer holds is not believed.
    if (n > *size) return VariableResult::kMissing;
    *size = n;
    return VariableResult::kOk;
  }
  // Only "the buffer is too small" with a larger size is worth a second
  // call; any other failure (ERROR_INVALID_INDEX: no such variable) reads as
  // missing.
  if (GetLastError() == ERROR_INSUFFICIENT_BUFFER && n > *size) {
    *size = n;
    return VariableResult::kTooSmall;
  }
  return VariableResult::kMissing;
}

bool IsapiFilterContext::SendResponseHeader(const char* status, const char* extra_headers) {
  if (pfc_->ServerSupportFunction == nullptr) return false;
  return pfc_->ServerSupportFunction(pfc_, SF_REQ_SEND_RESPONSE_HEADER, const_cast<char*>(status),
                                     reinterpret_cast<ULONG_PTR>(extra_headers), 0) != FALSE;
}

bool IsapiFilterContext::WriteClient(const void* bytes, std::uint32_t length) {
  if (pfc_->WriteClient == nullptr) return false;
  DWORD n = length;
  return pfc_->WriteClient(pfc_, const_cast<void*>(bytes), &n, 0) != FALSE;
}

HTTP_FILTER_SEND_RESPONSE* IsapiFilterContext::SendResponse() const {
  return type_ == SF_NOTIFY_SEND_RESPONSE ? static_cast<HTTP_FILTER_SEND_RESPONSE*>(notification_) : nullptr;
}

bool IsapiFilterContext::SetHeader(const char* name, const char* value) {
  HTTP_FILTER_SEND_RESPONSE* response = SendResponse();
  if (response == nullptr || response->SetHeader == nullptr) return false;
  // IIS removes a header whose new value is the empty string; the core asks
  // for removal with a null value.
  char empty[] = "";
  return response->SetHeader(pfc_, const_cast<char*>(name), value != nullptr ? const_cast<char*>(value) : empty) !=
         FALSE;
}

std::uint32_t IsapiFilterContext::HttpStatus() {
  const HTTP_FILTER_SEND_RESPONSE* response = SendResponse();
  return response != nullptr ? response->HttpStatus : 0;
}

const char* IsapiFilterContext::PhysicalPath() {
  if (type_ != SF_NOTIFY_ACCESS_DENIED || notification_ == nullptr) return nullptr;
  return static_cast<const HTTP_FILTER_ACCESS_DENIED*>(notification_)->pszPhysicalPath;
}

}  // namespace zelk::filter::isapi
