#include "filter/isapi/isapi_context.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zelk::filter::isapi {
namespace {

// IIS's GetServerVariable size protocol, the same for filters and
// extensions. call(n) makes the server call with *n = the buffer size.
template <typename Call>
VariableResult GetVariable(Call call, std::uint32_t* size) {
  DWORD n = *size;
  SetLastError(ERROR_SUCCESS);
  if (call(&n)) {
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

}  // namespace

VariableResult IsapiFilterContext::GetServerVariable(const char* name, char* buffer,
                                                     std::uint32_t* size) {
  if (pfc_->GetServerVariable == nullptr) return VariableResult::kMissing;
  return GetVariable(
      [&](DWORD* n) {
        return pfc_->GetServerVariable(pfc_, const_cast<char*>(name), buffer, n) != FALSE;
      },
      size);
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
  return type_ == SF_NOTIFY_SEND_RESPONSE ? static_cast<HTTP_FILTER_SEND_RESPONSE*>(notification_)
                                          : nullptr;
}

bool IsapiFilterContext::SetHeader(const char* name, const char* value) {
  HTTP_FILTER_SEND_RESPONSE* response = SendResponse();
  if (response == nullptr || response->SetHeader == nullptr) return false;
  // IIS removes a header whose new value is the empty string; the core asks
  // for removal with a null value.
  char empty[] = "";
  return response->SetHeader(pfc_, const_cast<char*>(name),
                             value != nullptr ? const_cast<char*>(value) : empty) != FALSE;
}

std::uint32_t IsapiFilterContext::HttpStatus() {
  const HTTP_FILTER_SEND_RESPONSE* response = SendResponse();
  return response != nullptr ? response->HttpStatus : 0;
}

const char* IsapiFilterContext::PhysicalPath() {
  if (type_ != SF_NOTIFY_ACCESS_DENIED || notification_ == nullptr) return nullptr;
  return static_cast<const HTTP_FILTER_ACCESS_DENIED*>(notification_)->pszPhysicalPath;
}

VariableResult IsapiExtensionContext::GetServerVariable(const char* name, char* buffer,
                                                        std::uint32_t* size) {
  if (ecb_->GetServerVariable == nullptr) return VariableResult::kMissing;
  return GetVariable(
      [&](DWORD* n) {
        return ecb_->GetServerVariable(ecb_->ConnID, const_cast<char*>(name), buffer, n) != FALSE;
      },
      size);
}

bool IsapiExtensionContext::SendResponseHeader(const char* status, const char* extra_headers) {
  if (ecb_->ServerSupportFunction == nullptr) return false;
  // The server's own headers, then extra_headers (ending in the blank line
  // when given); none at all when null.
  const char* headers = extra_headers != nullptr ? extra_headers : "";
  HSE_SEND_HEADER_EX_INFO info{status, headers, static_cast<DWORD>(std::strlen(status)),
                               static_cast<DWORD>(std::strlen(headers)), FALSE};
  return ecb_->ServerSupportFunction(ecb_->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, nullptr,
                                     nullptr) != FALSE;
}

bool IsapiExtensionContext::WriteClient(const void* bytes, std::uint32_t length) {
  if (ecb_->WriteClient == nullptr) return false;
  DWORD n = length;
  return ecb_->WriteClient(ecb_->ConnID, const_cast<void*>(bytes), &n, HSE_IO_SYNC) != FALSE &&
         n == length;
}

std::size_t EcbBodySource::Read(char* buffer, std::size_t size) {
  if (!started_) {
    started_ = true;
    if (ecb_->lpbData != nullptr && ecb_->cbAvailable > 0) {
      taken_.assign(reinterpret_cast<const char*>(ecb_->lpbData), ecb_->cbAvailable);
    }
  }
  if (size == 0) return 0;
  if (handed_out_ == taken_.size() && !Fetch(size)) return 0;
  const std::size_t n = std::min(size, taken_.size() - handed_out_);
  std::memcpy(buffer, taken_.data() + handed_out_, n);
  handed_out_ += n;
  return n;
}

bool EcbBodySource::Fetch(std::size_t size) {
  if (ended_) return false;
  std::size_t want = std::min<std::size_t>(size, std::numeric_limits<DWORD>::max());
  if (ecb_->cbTotalBytes != kUnknownLength) {
    // A known length: never ask for bytes past it (the server would wait
    // for bytes the client will not send).
    const std::size_t total = ecb_->cbTotalBytes;
    if (taken_.size() >= total) {
      ended_ = true;
      return false;
    }
    want = std::min(want, total - taken_.size());
  }
  if (ecb_->ReadClient == nullptr) {
    ended_ = true;
    read_failed_ = true;
    return false;
  }
  const std::size_t old_size = taken_.size();
  taken_.resize(old_size + want);
  DWORD n = static_cast<DWORD>(want);
  const BOOL ok = ecb_->ReadClient(ecb_->ConnID, taken_.data() + old_size, &n);
  if (!ok || n == 0 || n > want) {
    taken_.resize(old_size);
    ended_ = true;
    read_failed_ = !ok || n > want;
    return false;
  }
  taken_.resize(old_size + n);
  return true;
}

}  // namespace zelk::filter::isapi
