// A FilterContext for tests: server variables from a map, every call recorded
// in order, hooks to make a call block or fail.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "filter/context.h"

namespace zelk::filter::testing {

class FakeContext : public FilterContext {
 public:
  std::map<std::string, std::string> variables;
  std::uint32_t status = 200;
  std::string physical_path;
  std::vector<std::string> calls;  // "GetServerVariable(URL)", "SendResponseHeader(200 OK)", ...
  std::string written;             // everything passed to WriteClient
  std::map<std::string, std::string> headers;  // response headers after SetHeader
  std::function<void(const char* name)> on_get_variable;
  std::function<void()> on_write_client;

  VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) override;
  bool SendResponseHeader(const char* status_text, const char* extra_headers) override;
  bool WriteClient(const void* bytes, std::uint32_t length) override;
  bool SetHeader(const char* name, const char* value) override;
  std::uint32_t HttpStatus() override { return status; }
  const char* PhysicalPath() override { return physical_path.c_str(); }
};

}  // namespace zelk::filter::testing
