#include "filter/testing/fake_context.h"

namespace zelk::filter::testing {

VariableResult FakeContext::GetServerVariable(const char* name, char* buffer, std::uint32_t* size) {
  calls.push_back(std::string("GetServerVariable(") + name + ")");
  if (on_get_variable) on_get_variable(name);
  const auto it = variables.find(name);
  if (it == variables.end()) return VariableResult::kMissing;
  return CopyServerVariable(it->second, buffer, size);
}

bool FakeContext::SendResponseHeader(const char* status_text, const char* extra_headers) {
  calls.push_back(std::string("SendResponseHeader(") + status_text + "," +
                  (extra_headers ? extra_headers : "null") + ")");
  return true;
}

bool FakeContext::WriteClient(const void* bytes, std::uint32_t length) {
  calls.push_back("WriteClient(" + std::to_string(length) + ")");
  written.append(static_cast<const char*>(bytes), length);
  if (on_write_client) on_write_client();
  return true;
}

bool FakeContext::SetHeader(const char* name, const char* value) {
  calls.push_back(std::string("SetHeader(") + name + "," + (value ? value : "null") + ")");
  if (value == nullptr) {
    headers.erase(name);
  } else {
    headers[name] = value;
  }
  return true;
}

}  // namespace zelk::filter::testing
