// Loads the built ZelkWAF.dll the way IIS does (LoadLibraryA from its own
// module folder, the entry points by their plain names) and drives it through
// hand-built ISAPI structures whose callbacks are this test's. Every request
// case of the shared table runs through the DLL (the filter notifications and
// the wildcard extension with the request body) and, for comparison, through
// the core with the fake context: the server calls, statuses, bytes sent and
// event log lines must be the same.
#include <windows.h>  // first: the headers below need its types

#include <gtest/gtest.h>
#include <httpext.h>
#include <httpfilt.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "filter/decode.h"
#include "filter/module.h"
#include "filter/response.h"
#include "filter/testing/fake_context.h"
#include "filter/testing/request_cases.h"

namespace zelk::filter::isapi {
namespace {

using testing::RequestCase;

using GetFilterVersionFn = BOOL(WINAPI*)(HTTP_FILTER_VERSION*);
using HttpFilterProcFn = DWORD(WINAPI*)(HTTP_FILTER_CONTEXT*, DWORD, VOID*);
using TerminateFilterFn = BOOL(WINAPI*)(DWORD);
using GetExtensionVersionFn = BOOL(WINAPI*)(HSE_VERSION_INFO*);
using HttpExtensionProcFn = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
using TerminateExtensionFn = BOOL(WINAPI*)(DWORD);

constexpr char kTimeStampShape[] = "dddd.dd.dd dd:dd:dd ";  // 20 bytes

std::string OwnFolder() {
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

// The DLL built beside this program (ZELK_ISAPI_DLL overrides).
std::string BuiltDll() {
  const char* env = std::getenv("ZELK_ISAPI_DLL");
  return env != nullptr ? env : OwnFolder() + "ZelkWAF.dll";
}

void CopyFileOrFail(const std::string& from, const std::string& to) {
  ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE))
      << from << " -> " << to << ": " << GetLastError();
}

// The DLL loaded from a folder; unloaded (detach, UnloadModule) on Unload or
// destruction.
class LoadedDll {
 public:
  explicit LoadedDll(const std::string& path) : handle_(LoadLibraryA(path.c_str())) {}
  ~LoadedDll() { Unload(); }
  LoadedDll(const LoadedDll&) = delete;
  LoadedDll& operator=(const LoadedDll&) = delete;

  bool ok() const { return handle_ != nullptr; }
  void Unload() {
    if (handle_ != nullptr) FreeLibrary(handle_);
    handle_ = nullptr;
  }
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle_, name)));
  }
  HttpFilterProcFn filter_proc() const { return Get<HttpFilterProcFn>("HttpFilterProc"); }
  HttpExtensionProcFn extension_proc() const {
    return Get<HttpExtensionProcFn>("HttpExtensionProc");
  }

 private:
  HMODULE handle_;
};

// One request as IIS presents it to a filter. The callbacks record every call
// in the words of the core's FakeContext, so the two can be compared.

// GetServerVariable as IIS answers it: the value and a NUL, or
// ERROR_INVALID_INDEX for a variable it does not have, or
// ERROR_INSUFFICIENT_BUFFER with the size needed.
BOOL ServeVariable(const std::map<std::string, std::string>& variables, LPSTR name, LPVOID buffer,
                   LPDWORD size) {
  const auto it = variables.find(name);
  if (it == variables.end()) {
    SetLastError(ERROR_INVALID_INDEX);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(it->second.size() + 1);
  if (*size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, it->second.c_str(), needed);
  *size = needed;
  return TRUE;
}

class FakeIis {
 public:
  std::map<std::string, std::string> variables;
  DWORD status = 200;                          // HttpStatus of the response
  std::vector<std::string> calls;              // in order
  std::string written;                         // everything passed to WriteClient
  std::map<std::string, std::string> headers;  // after SetHeader; "" removed
  int query_string_reads = 0;

  FakeIis() {
    pfc_.cbSize = sizeof pfc_;
    pfc_.Revision = HTTP_FILTER_REVISION;
    pfc_.ServerContext = this;
    pfc_.GetServerVariable = &GetServerVariable;
    pfc_.WriteClient = &WriteClient;
    pfc_.ServerSupportFunction = &ServerSupportFunction;
    response_.SetHeader = &SetHeader;
  }
  FakeIis(const FakeIis&) = delete;
  FakeIis& operator=(const FakeIis&) = delete;

  DWORD PreprocHeaders(HttpFilterProcFn proc) {
    HTTP_FILTER_PREPROC_HEADERS unused{};
    return proc(&pfc_, SF_NOTIFY_PREPROC_HEADERS, &unused);
  }
  DWORD SendResponse(HttpFilterProcFn proc) {
    response_.HttpStatus = status;
    return proc(&pfc_, SF_NOTIFY_SEND_RESPONSE, &response_);
  }
  DWORD AccessDenied(HttpFilterProcFn proc, const char* physical_path) {
    HTTP_FILTER_ACCESS_DENIED denied{"/private/a.asp", physical_path, SF_DENIED_LOGON};
    return proc(&pfc_, SF_NOTIFY_ACCESS_DENIED, &denied);
  }
  DWORD Notify(HttpFilterProcFn proc, DWORD type) { return proc(&pfc_, type, nullptr); }

 private:
  static FakeIis& Of(HTTP_FILTER_CONTEXT* pfc) {
    auto* self = static_cast<FakeIis*>(pfc->ServerContext);
    EXPECT_EQ(pfc, &self->pfc_) << "the filter must hand back the server's own context";
    return *self;
  }

  // The size protocol of IIS: the value and a NUL when they fit, else
  // ERROR_INSUFFICIENT_BUFFER with the size needed; ERROR_INVALID_INDEX for
  // a variable the server does not have.
  static BOOL WINAPI GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer,
                                       LPDWORD size) {
    FakeIis& self = Of(pfc);
    self.calls.push_back(std::string("GetServerVariable(") + name + ")");
    if (std::strcmp(name, "QUERY_STRING") == 0) ++self.query_string_reads;
    return ServeVariable(self.variables, name, buffer, size);
  }

  static BOOL WINAPI WriteClient(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes,
                                 DWORD reserved) {
    FakeIis& self = Of(pfc);
    EXPECT_EQ(reserved, 0u);
    self.calls.push_back("WriteClient(" + std::to_string(*bytes) + ")");
    self.written.append(static_cast<const char*>(buffer), *bytes);
    return TRUE;
  }

  static BOOL WINAPI ServerSupportFunction(HTTP_FILTER_CONTEXT* pfc, enum SF_REQ_TYPE request,
                                           PVOID data, ULONG_PTR ul1, ULONG_PTR ul2) {
    FakeIis& self = Of(pfc);
    if (request != SF_REQ_SEND_RESPONSE_HEADER) {
      self.calls.push_back("ServerSupportFunction(" + std::to_string(request) + ")");
      return FALSE;
    }
    const char* extra = reinterpret_cast<const char*>(ul1);
    self.calls.push_back(std::string("SendResponseHeader(") + static_cast<const char*>(data) + "," +
                         (extra != nullptr ? extra : "null") + ")");
    EXPECT_EQ(ul2, 0u);
    return TRUE;
  }

  static BOOL WINAPI SetHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
    FakeIis& self = Of(pfc);
    // IIS deletes a header whose value is empty; a null value is not
    // something IIS accepts.
    EXPECT_NE(value, nullptr) << name;
    if (value == nullptr) return FALSE;
    self.calls.push_back(std::string("SetHeader(") + name + "," + value + ")");
    if (*value == '\0') {
      self.headers.erase(name);
    } else {
      self.headers[name] = value;
    }
    return TRUE;
  }

  HTTP_FILTER_CONTEXT pfc_{};
  HTTP_FILTER_SEND_RESPONSE response_{};
};

// The core's calls as the ISAPI adapter passes them on: a null header value
// (remove) reaches IIS as the empty string.
std::vector<std::string> AsPassedToIis(std::vector<std::string> calls) {
  for (std::string& c : calls) {
    if (c.rfind("SetHeader(", 0) == 0 && c.size() >= 6 &&
        c.compare(c.size() - 6, 6, ",null)") == 0) {
      c.replace(c.size() - 6, 6, ",)");
    }
  }
  return calls;
}

// The event log's lines with their time stamps checked for shape and cut off.
std::vector<std::string> LogMessages(const std::string& log) {
  std::vector<std::string> messages;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = log.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated log line: " << log.substr(start);
    if (end == std::string::npos) break;
    const std::string line = log.substr(start, end - start);
    EXPECT_GE(line.size(), sizeof kTimeStampShape - 1) << line;
    for (std::size_t i = 0; i < sizeof kTimeStampShape - 1 && i < line.size(); ++i) {
      const char shape = kTimeStampShape[i];
      const bool ok = shape == 'd' ? (line[i] >= '0' && line[i] <= '9') : line[i] == shape;
      EXPECT_TRUE(ok) << "time stamp of: " << line;
    }
    messages.push_back(line.size() > 20 ? line.substr(20) : std::string());
    start = end + 2;
  }
  return messages;
}

std::vector<std::string> ExpectedMessages(const RequestCase& c) {
  return c.log ? std::vector<std::string>{*c.log} : std::vector<std::string>{};
}

// A module folder holding a copy of the built DLL and the case's files.
struct ModuleFolder {
  testing::TempDir dir;
  std::string dll;
  explicit ModuleFolder(const RequestCase& c, const char* dll_name = "ZelkWAF.dll")
      : dll(dir.path() + dll_name) {
    CopyFileOrFail(BuiltDll(), dll);
    testing::WriteModuleFiles(c, dir.path());
  }
  std::string log_path() const { return dir.path() + "ZelkWAFLog.txt"; }
};

// The wildcard-script-map side: a fake control block. Its server support
// calls are recorded as text in `calls`; the calls the core's FakeContext
// also makes are recorded in that context's words in `filter_calls`. The body
// arrives as from IIS: `read_ahead` bytes in lpbData, the rest through
// ReadClient in pieces of at most `read_piece` bytes.
class FakeEcb {
 public:
  std::vector<std::string> calls;
  std::vector<std::string> filter_calls;
  std::map<std::string, std::string> variables;
  std::string written;
  PFN_HSE_IO_COMPLETION completion = nullptr;
  void* completion_context = nullptr;
  const HSE_EXEC_URL_INFO* exec = nullptr;  // as handed to HSE_REQ_EXEC_URL
  bool fail_io_completion = false;
  bool fail_exec_url = false;
  std::size_t read_piece = 4093;
  std::optional<std::size_t>
      fail_read_at;        // ReadClient fails once the connection has given this many bytes
  int reads_past_end = 0;  // ReadClient calls after a known-length body was all read

  FakeEcb() {
    ecb_.cbSize = sizeof ecb_;
    ecb_.ConnID = this;
    ecb_.GetServerVariable = &GetServerVariable;
    ecb_.WriteClient = &WriteClient;
    ecb_.ReadClient = &ReadClient;
    ecb_.ServerSupportFunction = &ServerSupportFunction;
  }
  FakeEcb(const FakeEcb&) = delete;
  FakeEcb& operator=(const FakeEcb&) = delete;
  EXTENSION_CONTROL_BLOCK* ecb() { return &ecb_; }

  // known_length false: cbTotalBytes says unknown (a chunked body).
  void SetBody(const std::string& body, std::size_t read_ahead, bool known_length = true) {
    body_ = body;
    read_ahead_ = std::min(read_ahead, body_.size());
    position_ = read_ahead_;
    ecb_.cbTotalBytes = known_length ? static_cast<DWORD>(body_.size()) : 0xFFFFFFFF;
    ecb_.cbAvailable = static_cast<DWORD>(read_ahead_);
    ecb_.lpbData = read_ahead_ > 0 ? reinterpret_cast<LPBYTE>(body_.data()) : nullptr;
  }
  // Bytes the connection has given so far: read ahead and through ReadClient.
  std::size_t position() const { return position_; }

  // The body the re-executed page reads: pEntity's bytes (the read-ahead
  // block when there is none), then what is still on the connection.
  std::string ChildBody() const {
    if (exec == nullptr) return "(no re-execution)";
    const std::string rest = body_.substr(position_);
    if (exec->pEntity == nullptr) return body_.substr(0, read_ahead_) + rest;
    return std::string(static_cast<const char*>(exec->pEntity->lpbData),
                       exec->pEntity->cbAvailable) +
           rest;
  }
  // The server's part when the child request is done: the registered routine
  // with its context.
  void Complete() {
    ASSERT_NE(completion, nullptr);
    completion(&ecb_, completion_context, 0, 0);
  }

 private:
  static FakeEcb& Of(HCONN conn) { return *static_cast<FakeEcb*>(conn); }
  static const char* Set(const void* p) { return p != nullptr ? "set" : "null"; }

  static BOOL WINAPI GetServerVariable(HCONN conn, LPSTR name, LPVOID buffer, LPDWORD size) {
    FakeEcb& self = Of(conn);
    self.filter_calls.push_back(std::string("GetServerVariable(") + name + ")");
    return ServeVariable(self.variables, name, buffer, size);
  }

  static BOOL WINAPI WriteClient(HCONN conn, LPVOID buffer, LPDWORD bytes, DWORD flags) {
    FakeEcb& self = Of(conn);
    EXPECT_EQ(flags, static_cast<DWORD>(HSE_IO_SYNC));
    self.filter_calls.push_back("WriteClient(" + std::to_string(*bytes) + ")");
    self.written.append(static_cast<const char*>(buffer), *bytes);
    return TRUE;
  }

  static BOOL WINAPI ReadClient(HCONN conn, LPVOID buffer, LPDWORD size) {
    FakeEcb& self = Of(conn);
    EXPECT_GT(*size, 0u);
    if (self.fail_read_at && self.position_ >= *self.fail_read_at) {
      SetLastError(ERROR_NETNAME_DELETED);
      return FALSE;
    }
    if (self.position_ == self.body_.size() && self.ecb_.cbTotalBytes != 0xFFFFFFFF)
      ++self.reads_past_end;
    std::size_t n = std::min(
        {static_cast<std::size_t>(*size), self.read_piece, self.body_.size() - self.position_});
    if (self.fail_read_at) n = std::min(n, *self.fail_read_at - self.position_);
    std::memcpy(buffer, self.body_.data() + self.position_, n);
    self.position_ += n;
    *size = static_cast<DWORD>(n);
    return TRUE;
  }

  static BOOL WINAPI ServerSupportFunction(HCONN conn, DWORD request, LPVOID buffer, LPDWORD size,
                                           LPDWORD data_type) {
    FakeEcb& self = Of(conn);
    std::string call =
        std::to_string(request) + "(" + Set(buffer) + "," + Set(size) + "," + Set(data_type) + ")";
    if (request == HSE_REQ_EXEC_URL && buffer != nullptr) {
      const auto* info = static_cast<const HSE_EXEC_URL_INFO*>(buffer);
      call += std::string(" url=") + Set(info->pszUrl) + " method=" + Set(info->pszMethod) +
              " headers=" + Set(info->pszChildHeaders) + " user=" + Set(info->pUserInfo) +
              " entity=" + Set(info->pEntity) + " flags=" + std::to_string(info->dwExecUrlFlags);
    }
    self.calls.push_back(call);
    switch (request) {
      case HSE_REQ_IO_COMPLETION:
        self.completion = reinterpret_cast<PFN_HSE_IO_COMPLETION>(buffer);
        self.completion_context = size;
        return !self.fail_io_completion;
      case HSE_REQ_EXEC_URL:
        if (self.fail_exec_url) return FALSE;
        self.exec = static_cast<const HSE_EXEC_URL_INFO*>(buffer);
        return TRUE;
      case HSE_REQ_SEND_RESPONSE_HEADER_EX: {
        const auto* info = static_cast<const HSE_SEND_HEADER_EX_INFO*>(buffer);
        EXPECT_EQ(info->cchStatus, std::strlen(info->pszStatus));
        EXPECT_EQ(info->cchHeader, std::strlen(info->pszHeader));
        EXPECT_FALSE(info->fKeepConn) << "the rest of the body may be on the connection";
        self.filter_calls.push_back(std::string("SendResponseHeader(") + info->pszStatus + "," +
                                    (info->cchHeader > 0 ? info->pszHeader : "null") + ")");
        return TRUE;
      }
      default:
        return TRUE;
    }
  }

  EXTENSION_CONTROL_BLOCK ecb_{};
  std::string body_;
  std::size_t read_ahead_ = 0;
  std::size_t position_ = 0;
};

// IIS 6 reads this much of a body ahead before calling an extension
// (UploadReadAheadSize's default).
constexpr std::size_t kReadAhead = 48 * 1024;

// The body for the core, in pieces as a network delivers them; counts what
// the rules read.
struct CountingSource : BodySource {
  explicit CountingSource(std::string b) : body(std::move(b)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min({size, body.size() - read, std::size_t{1000}});
    body.copy(buffer, n, read);
    read += n;
    return n;
  }
  std::string body;
  std::size_t read = 0;
};

// What the core does with the same case (fake server, its own folder).
struct CoreRun {
  std::uint32_t request_status = 0;
  std::uint32_t body_status = 0;
  std::size_t body_read = 0;  // bytes of the body the rules read
  std::uint32_t denied_status = 0;
  std::uint32_t response_status = 0;
  std::vector<std::string> calls;
  std::string written;
  std::string log;
};

CoreRun RunThroughCore(const RequestCase& c) {
  testing::TempDir dir;
  testing::WriteModuleFiles(c, dir.path());
  auto module = LoadModule(dir.path());
  testing::FakeContext ctx;
  for (const auto& [name, value] : testing::CaseServerVariables(c)) ctx.variables[name] = value;
  CoreRun run;
  run.request_status = HttpFilterProc(*module, ctx, kNotifyPreprocHeaders);
  if (run.request_status == kStatusReqNextNotification) {
    CountingSource body(c.body.value_or(""));
    run.body_status = RunBodyNotification(*module, ctx, body).status;
    run.body_read = body.read;
  }
  if (run.request_status == kStatusReqNextNotification && run.body_status != kStatusReqFinished) {
    ctx.status = static_cast<std::uint32_t>(c.status);
    if (c.status == 401) {
      ctx.physical_path = std::string(testing::kCaseWebRoot) + "\\private\\a.asp";
      run.denied_status = HttpFilterProc(*module, ctx, kNotifyAccessDenied);
    }
    run.response_status = HttpFilterProc(*module, ctx, kNotifySendResponse);
  }
  UnloadModule(std::move(module));
  run.calls = AsPassedToIis(ctx.calls);
  run.written = ctx.written;
  run.log = testing::ReadFileBytes(dir.path() + "ZelkWAFLog.txt");
  return run;
}

TEST(ZelkWafDll, ExportsTheSixEntryPointsByTheirPlainNames) {
  LoadedDll dll(BuiltDll());
  ASSERT_TRUE(dll.ok()) << BuiltDll() << ": " << GetLastError();
  for (const char* name : {"GetFilterVersion", "HttpFilterProc", "TerminateFilter",
                           "GetExtensionVersion", "HttpExtensionProc", "TerminateExtension"}) {
    EXPECT_NE(dll.Get<FARPROC>(name), nullptr) << name;
  }
}

TEST(ZelkWafDll, ReportsItsVersionsDescriptionsAndNotifications) {
  LoadedDll dll(BuiltDll());
  ASSERT_TRUE(dll.ok());
  HTTP_FILTER_VERSION filter;
  std::memset(&filter, 0xCC, sizeof filter);
  filter.dwServerFilterVersion = 0x00060000;
  ASSERT_TRUE(dll.Get<GetFilterVersionFn>("GetFilterVersion")(&filter));
  EXPECT_EQ(filter.dwFilterVersion, 0x00040000u);
  EXPECT_EQ(filter.dwFlags, 0x00024843u);
  EXPECT_EQ(filter.dwServerFilterVersion, 0x00060000u);  // untouched
  const std::string filter_desc(filter.lpszFilterDesc, sizeof filter.lpszFilterDesc);
  EXPECT_EQ(filter_desc, std::string("ZeLk Web Firewall") + std::string(257 - 17, '\0'));

  HSE_VERSION_INFO extension;
  std::memset(&extension, 0xCC, sizeof extension);
  ASSERT_TRUE(dll.Get<GetExtensionVersionFn>("GetExtensionVersion")(&extension));
  EXPECT_EQ(extension.dwExtensionVersion, 0x00040000u);
  const std::string extension_desc(extension.lpszExtensionDesc, sizeof extension.lpszExtensionDesc);
  EXPECT_EQ(extension_desc, std::string("ZeLk Web Firewall") + std::string(256 - 17, '\0'));

  EXPECT_TRUE(dll.Get<TerminateFilterFn>("TerminateFilter")(0));
  EXPECT_TRUE(dll.Get<TerminateExtensionFn>("TerminateExtension")(0));
  EXPECT_FALSE(dll.Get<GetFilterVersionFn>("GetFilterVersion")(nullptr));
  EXPECT_FALSE(dll.Get<GetExtensionVersionFn>("GetExtensionVersion")(nullptr));
}

class DllRequestCaseTest : public ::testing::TestWithParam<RequestCase> {};

// As IIS runs a request: the request notification, then (when it lets the
// request on) the wildcard extension with the body, then (when that lets it
// on too) the response notifications.
TEST_P(DllRequestCaseTest, AnswersLikeTheCoreAndAsTheTableSays) {
  const RequestCase& c = GetParam();
  const std::string body = c.body.value_or("");
  ModuleFolder folder(c);
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok()) << GetLastError();
  HTTP_FILTER_VERSION version{};
  ASSERT_TRUE(dll.Get<GetFilterVersionFn>("GetFilterVersion")(&version));
  const HttpFilterProcFn proc = dll.filter_proc();

  FakeIis iis;
  for (const auto& [name, value] : testing::CaseServerVariables(c)) iis.variables[name] = value;
  const DWORD request_status = iis.PreprocHeaders(proc);
  DWORD extension_status = 0, denied_status = 0, response_status = 0;
  std::string child_body;
  if (request_status == SF_STATUS_REQ_NEXT_NOTIFICATION) {
    FakeEcb ecb;
    ecb.variables = iis.variables;
    ecb.SetBody(body, kReadAhead);
    extension_status = dll.extension_proc()(ecb.ecb());
    iis.calls.insert(iis.calls.end(), ecb.filter_calls.begin(), ecb.filter_calls.end());
    iis.written += ecb.written;
    if (extension_status == HSE_STATUS_PENDING) {
      child_body = ecb.ChildBody();
      ecb.Complete();
    }
  }
  if (request_status == SF_STATUS_REQ_NEXT_NOTIFICATION && extension_status != HSE_STATUS_SUCCESS) {
    iis.status = static_cast<DWORD>(c.status);
    if (c.status == 401) {
      const std::string path = std::string(testing::kCaseWebRoot) + "\\private\\a.asp";
      denied_status = iis.AccessDenied(proc, path.c_str());
    }
    response_status = iis.SendResponse(proc);
  }
  dll.Unload();
  const std::string log = testing::ReadFileBytes(folder.log_path());

  // What the table says.
  const std::string page = BuildBlockPage(c.headline, c.reason, c.page_host);
  if (c.expect == "blocked") {
    EXPECT_TRUE(request_status == SF_STATUS_REQ_FINISHED || extension_status == HSE_STATUS_SUCCESS)
        << request_status << " " << extension_status;
    ASSERT_GE(iis.calls.size(), 2u);
    EXPECT_EQ(iis.calls[iis.calls.size() - 2], "SendResponseHeader(200 OK,null)");
    EXPECT_EQ(iis.calls.back(), "WriteClient(" + std::to_string(page.size()) + ")");
    EXPECT_EQ(iis.written, page);
  } else {
    EXPECT_EQ(request_status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    EXPECT_EQ(extension_status, static_cast<DWORD>(HSE_STATUS_PENDING));
    EXPECT_EQ(child_body, body) << "the page must receive the body whole";
    if (c.status == 401) {
      EXPECT_EQ(denied_status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    }
    if (c.expect == "replaced") {
      EXPECT_EQ(response_status, static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
      const std::string head =
          c.status == 403 ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
      EXPECT_EQ(iis.written, head + "Content-Length: " + std::to_string(page.size()) +
                                 "\r\nContent-Type: text/html\r\n\r\n" + page);
    } else {
      EXPECT_EQ(response_status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
      EXPECT_EQ(iis.written, "");
    }
  }
  EXPECT_EQ(LogMessages(log), ExpectedMessages(c));

  // And the same, call for call, as the core with the fake context.
  const CoreRun core = RunThroughCore(c);
  EXPECT_EQ(request_status, core.request_status);
  EXPECT_EQ(extension_status == HSE_STATUS_SUCCESS, core.body_status == kStatusReqFinished);
  EXPECT_EQ(denied_status, core.denied_status);
  EXPECT_EQ(response_status, core.response_status);
  EXPECT_EQ(iis.calls, core.calls);
  EXPECT_EQ(iis.written, core.written);
  EXPECT_EQ(LogMessages(log), LogMessages(core.log));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DllRequestCaseTest,
    ::testing::ValuesIn(testing::LoadRequestCases(testing::RequestCasesPath())),
    [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

std::vector<RequestCase> CasesWithABody() {
  std::vector<RequestCase> cases;
  for (RequestCase& c : testing::LoadRequestCases(testing::RequestCasesPath())) {
    if (c.body) cases.push_back(std::move(c));
  }
  return cases;
}

// The new part of the event log since `seen` bytes; `seen` moves past it.
std::vector<std::string> NewLogMessages(const std::string& path, std::size_t* seen) {
  const std::string log = testing::ReadFileBytes(path);
  const std::string fresh = log.size() > *seen ? log.substr(*seen) : std::string();
  *seen = log.size();
  return LogMessages(fresh);
}

class DllBodyCaseTest : public ::testing::TestWithParam<RequestCase> {};

// The extension alone, the body split every way IIS may split it: nothing,
// a few bytes or IIS's default read ahead, or all of it in lpbData, and its
// length known or not. The verdict, page and log line are the table's; a
// request that goes on reaches the page with every byte of its body, in
// pEntity exactly when the rules read it (else still unread on the
// connection).
TEST_P(DllBodyCaseTest, HandsThePageEveryByteHoweverTheBodyArrives) {
  const RequestCase& c = GetParam();
  const std::string& body = *c.body;
  const CoreRun core = RunThroughCore(c);
  ASSERT_EQ(core.request_status, kStatusReqNextNotification)
      << "the request notification answered this case";
  ModuleFolder folder(c);
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok()) << GetLastError();
  const std::string page = BuildBlockPage(c.headline, c.reason, c.page_host);
  std::size_t log_seen = 0;
  for (const std::size_t read_ahead : {std::size_t{0}, std::size_t{5}, kReadAhead, body.size()}) {
    for (const bool known_length : {true, false}) {
      SCOPED_TRACE("read ahead " + std::to_string(read_ahead) +
                   (known_length ? ", length known" : ", chunked"));
      FakeEcb ecb;
      for (const auto& [name, value] : testing::CaseServerVariables(c)) ecb.variables[name] = value;
      ecb.SetBody(body, read_ahead, known_length);
      const DWORD status = dll.extension_proc()(ecb.ecb());
      EXPECT_EQ(NewLogMessages(folder.log_path(), &log_seen), ExpectedMessages(c));
      EXPECT_EQ(ecb.reads_past_end, 0);
      if (c.expect == "blocked") {
        EXPECT_EQ(status, static_cast<DWORD>(HSE_STATUS_SUCCESS));
        EXPECT_EQ(ecb.written, page);
        EXPECT_EQ(ecb.calls, std::vector<std::string>{"1016(set,null,null)"})
            << "answered, not re-executed";
        continue;
      }
      ASSERT_EQ(status, static_cast<DWORD>(HSE_STATUS_PENDING));
      EXPECT_EQ(ecb.written, "");
      ASSERT_NE(ecb.exec, nullptr);
      EXPECT_EQ(ecb.exec->pEntity != nullptr, core.body_read > 0);
      EXPECT_EQ(ecb.ChildBody(), body);
      ecb.Complete();
      EXPECT_EQ(ecb.calls.back(), "4(null,null,null)");  // HSE_REQ_DONE_WITH_SESSION
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Table, DllBodyCaseTest, ::testing::ValuesIn(CasesWithABody()),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                           return info.param.name;
                         });

RequestCase DefaultFolder() {
  RequestCase c;  // no settings file, no white list, an empty event log
  return c;
}

void SetRequest(FakeIis& iis, const std::string& method, const std::string& target,
                const std::string& host) {
  RequestCase c;
  c.method = method;
  c.target = target;
  c.host = host;
  for (const auto& [name, value] : testing::CaseServerVariables(c)) iis.variables[name] = value;
}

TEST(ZelkWafDll, OtherNotificationsGoOnWithoutCallingTheServer) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  for (DWORD type : {DWORD{SF_NOTIFY_READ_RAW_DATA}, DWORD{SF_NOTIFY_URL_MAP}, DWORD{SF_NOTIFY_LOG},
                     DWORD{SF_NOTIFY_END_OF_REQUEST}, DWORD{0}, DWORD{0xFFFFFFFF}}) {
    FakeIis iis;
    SetRequest(iis, "PUT", "/a.asp", "localhost");
    EXPECT_EQ(iis.Notify(dll.filter_proc(), type),
              static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION))
        << type;
    EXPECT_TRUE(iis.calls.empty()) << type;
  }
  EXPECT_EQ(dll.filter_proc()(nullptr, SF_NOTIFY_PREPROC_HEADERS, nullptr),
            static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
}

TEST(ZelkWafDll, WithoutAnyFilesBlocksWithTheDefaultsAndCreatesNothing) {
  testing::TempDir dir;
  const std::string dll_path = dir.path() + "ZelkWAF.dll";
  CopyFileOrFail(BuiltDll(), dll_path);
  LoadedDll dll(dll_path);
  ASSERT_TRUE(dll.ok());
  FakeIis injection;
  SetRequest(injection, "GET", "/news.asp?id=1%20union%20select%201,2", "localhost");
  EXPECT_EQ(injection.PreprocHeaders(dll.filter_proc()),
            static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  EXPECT_EQ(injection.written,
            BuildBlockPage("GET请求存在注入语句!", "id=1%20union%20select%201,2", "localhost"));
  dll.Unload();
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    files.push_back(e.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"ZelkWAF.dll"});
}

TEST(ZelkWafDll, ReadsAQueryStringLongerThanTheFirstBuffer) {
  const std::string query = "pad=" + std::string(8192, 'a') + "&id=1%20union%20select%201,2";
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  FakeIis iis;
  SetRequest(iis, "GET", "/news.asp?" + query, "www.example.com");
  ASSERT_EQ(iis.variables.at("QUERY_STRING"), query);
  EXPECT_EQ(iis.PreprocHeaders(dll.filter_proc()), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  EXPECT_EQ(iis.query_string_reads, 2);  // 4096 bytes first, then the size the server asked for
  EXPECT_EQ(iis.written, BuildBlockPage("GET请求存在注入语句!", query, "www.example.com"));
  dll.Unload();
  EXPECT_EQ(
      LogMessages(testing::ReadFileBytes(folder.log_path())),
      std::vector<std::string>{"10.0.0.5 尝试GET注入:www.example.com" +
                               CutForLog("/news.asp?" + query) + " 参数:" + CutForLog(query)});
}

DWORD BlockOnePut(const LoadedDll& dll) {
  FakeIis iis;
  SetRequest(iis, "PUT", "/a.htm", "localhost");
  return iis.PreprocHeaders(dll.filter_proc());
}

TEST(ZelkWafDll, LogsOnlyWhenTheLogFileExistedAtLoad) {
  RequestCase no_log = DefaultFolder();
  no_log.log_file = false;
  ModuleFolder folder(no_log);
  {
    LoadedDll dll(folder.dll);
    ASSERT_TRUE(dll.ok());
    EXPECT_EQ(BlockOnePut(dll), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    EXPECT_FALSE(std::filesystem::exists(folder.log_path())) << "the module never creates the log";
    std::ofstream(folder.log_path(), std::ios::binary).close();
    EXPECT_EQ(BlockOnePut(dll), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    EXPECT_EQ(testing::ReadFileBytes(folder.log_path()), "")
        << "a log created while loaded stays unused";
  }
  LoadedDll reloaded(folder.dll);
  ASSERT_TRUE(reloaded.ok());
  EXPECT_EQ(BlockOnePut(reloaded), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  EXPECT_EQ(LogMessages(testing::ReadFileBytes(folder.log_path())),
            std::vector<std::string>{"10.0.0.5 请求方式非法:PUT"});
}

HANDLE OpenLog(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(ZelkWafDll, HoldsTheLogSoOthersMayReadButNotWrite) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());

  HANDLE writer = OpenLog(folder.log_path(), GENERIC_WRITE);
  const DWORD writer_error = GetLastError();
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(writer_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  HANDLE reader = OpenLog(folder.log_path(), GENERIC_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE) << GetLastError();
  // The line is in the file, whole, as soon as the request is answered.
  EXPECT_EQ(BlockOnePut(dll), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  char buffer[256];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, nullptr));
  CloseHandle(reader);
  EXPECT_EQ(LogMessages(std::string(buffer, read)),
            std::vector<std::string>{"10.0.0.5 请求方式非法:PUT"});

  dll.Unload();
  writer = OpenLog(folder.log_path(), GENERIC_WRITE);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the log is released at unload";
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
}

// The renamed module, run in a child process: the copy of this program the
// parent test starts loads the DLL under another name and reports through
// its exit status. Skipped when run directly.
TEST(RenamedDllChild, UsesTheHostProgramsFolder) {
  const char* renamed = std::getenv("ZELK_RENAMED_DLL");
  if (renamed == nullptr)
    GTEST_SKIP() << "started by ZelkWafDll.LoadedUnderAnotherNameUsesTheHostProgramsFolder";
  LoadedDll dll(renamed);
  ASSERT_TRUE(dll.ok()) << GetLastError();
  // The host folder's settings allow PUT; the module folder's would not.
  EXPECT_EQ(BlockOnePut(dll), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
  FakeIis mdb;
  SetRequest(mdb, "GET", "/db/data.mdb", "localhost");
  EXPECT_EQ(mdb.PreprocHeaders(dll.filter_proc()), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
}

TEST(ZelkWafDll, LoadedUnderAnotherNameUsesTheHostProgramsFolder) {
  testing::TempDir host;  // a copy of this program with its own ZelkWAF.ini and log
  const std::string host_exe = host.path() + "host.exe";
  char self[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  CopyFileOrFail(std::string(self, n), host_exe);
  RequestCase host_files;
  host_files.settings_file = "[ZelkWAF]\r\nDenyPutMethod=0\r\n";
  testing::WriteModuleFiles(host_files, host.path());

  RequestCase module_files;
  module_files.settings_file = "[ZelkWAF]\r\nDenyPutMethod=1\r\n";
  ModuleFolder folder(module_files, "Renamed.dll");

  const std::string command = "\"" + host_exe + "\" --gtest_filter=RenamedDllChild.*";
  ASSERT_TRUE(SetEnvironmentVariableA("ZELK_RENAMED_DLL", folder.dll.c_str()));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<char> command_line(command.begin(), command.end());
  command_line.push_back('\0');
  // Under Wine the start of a program copied a moment ago now and then fails
  // while the copy is still being settled; it is tried again for a while.
  BOOL started = FALSE;
  DWORD start_error = 0;
  for (int attempt = 0; attempt < 40 && !started; ++attempt) {
    if (attempt > 0) Sleep(250);
    started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             host.path().c_str(), &startup, &process);
    if (!started) start_error = GetLastError();
  }
  SetEnvironmentVariableA("ZELK_RENAMED_DLL", nullptr);
  ASSERT_TRUE(started) << start_error;
  const DWORD waited = WaitForSingleObject(process.hProcess, 120000);
  DWORD exit_code = 99;
  GetExitCodeProcess(process.hProcess, &exit_code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 98);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "child did not finish";
  EXPECT_EQ(exit_code, 0u) << "the child's checks failed";

  EXPECT_EQ(LogMessages(testing::ReadFileBytes(host.path() + "ZelkWAFLog.txt")),
            std::vector<std::string>{"10.0.0.5 请求文件非法:localhost/db/data.mdb"});
  EXPECT_EQ(testing::ReadFileBytes(folder.log_path()), "");
}

TEST(ZelkWafDll, ExtensionHandsTheRequestBackAndEndsTheSessionWhenDone) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  HSE_VERSION_INFO version{};
  ASSERT_TRUE(dll.Get<GetExtensionVersionFn>("GetExtensionVersion")(&version));
  FakeEcb ecb;
  ASSERT_EQ(dll.Get<HttpExtensionProcFn>("HttpExtensionProc")(ecb.ecb()),
            static_cast<DWORD>(HSE_STATUS_PENDING));
  // HSE_REQ_IO_COMPLETION (1005) with the routine and no context, then
  // HSE_REQ_EXEC_URL (1026): the same request, skipping this extension.
  EXPECT_EQ(
      ecb.calls,
      (std::vector<std::string>{
          "1005(set,null,null)",
          "1026(set,null,null) url=null method=null headers=null user=null entity=null flags=4"}));
  // The server runs the registered routine when the child request is done.
  ASSERT_NE(ecb.completion, nullptr);
  ecb.completion(ecb.ecb(), nullptr, 0, 0);
  ASSERT_EQ(ecb.calls.size(), 3u);
  EXPECT_EQ(ecb.calls[2], "4(null,null,null)");  // HSE_REQ_DONE_WITH_SESSION

  dll.Unload();
  EXPECT_EQ(testing::ReadFileBytes(folder.log_path()), "") << "the extension writes no log line";
}

TEST(ZelkWafDll, ExtensionFailsWhenTheServerRefusesEitherCall) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  const auto proc = dll.Get<HttpExtensionProcFn>("HttpExtensionProc");

  FakeEcb no_completion;
  no_completion.fail_io_completion = true;
  EXPECT_EQ(proc(no_completion.ecb()), static_cast<DWORD>(HSE_STATUS_ERROR));
  EXPECT_EQ(no_completion.calls, std::vector<std::string>{"1005(set,null,null)"})
      << "no re-execution";

  FakeEcb no_exec;
  no_exec.fail_exec_url = true;
  EXPECT_EQ(proc(no_exec.ecb()), static_cast<DWORD>(HSE_STATUS_ERROR));
  EXPECT_EQ(no_exec.calls.size(), 2u);

  EXPECT_EQ(proc(nullptr), static_cast<DWORD>(HSE_STATUS_ERROR));
}

// A form posted to a script, for the extension tests below.
RequestCase FormPost(const std::string& body) {
  RequestCase c;
  c.method = "POST";
  c.target = "/guestbook.asp";
  c.host = "localhost";
  c.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  c.body = body;
  return c;
}

void SetCase(FakeEcb& ecb, const RequestCase& c, std::size_t read_ahead, bool known_length = true) {
  for (const auto& [name, value] : testing::CaseServerVariables(c)) ecb.variables[name] = value;
  ecb.SetBody(*c.body, read_ahead, known_length);
}

TEST(ZelkWafDll, ExtensionReadsNoMoreThanTheCapAndLeavesTheRestForThePage) {
  // Benign form data up to the cap; an injection past it is not read, so
  // not seen, and reaches the page as every other byte does.
  const std::string inspected = "content=" + std::string(kBodyInspectionCap - 8, 'a');
  const std::string body =
      inspected + "&id=1%20union%20select%201,2&pad=" + std::string(100 * 1024, 'b');
  const RequestCase c = FormPost(body);
  ModuleFolder folder(c);
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  for (const bool known_length : {true, false}) {
    SCOPED_TRACE(known_length ? "length known" : "chunked");
    FakeEcb ecb;
    SetCase(ecb, c, kReadAhead, known_length);
    ecb.read_piece = 64 * 1024;
    ASSERT_EQ(dll.extension_proc()(ecb.ecb()), static_cast<DWORD>(HSE_STATUS_PENDING));
    EXPECT_EQ(ecb.position(), kBodyInspectionCap) << "read exactly the cap from the connection";
    ASSERT_NE(ecb.exec, nullptr);
    ASSERT_NE(ecb.exec->pEntity, nullptr);
    ASSERT_EQ(ecb.exec->pEntity->cbAvailable, kBodyInspectionCap);
    EXPECT_TRUE(std::memcmp(ecb.exec->pEntity->lpbData, inspected.data(), inspected.size()) == 0);
    EXPECT_TRUE(ecb.ChildBody() == body);
    ecb.Complete();
  }
  dll.Unload();
  EXPECT_EQ(testing::ReadFileBytes(folder.log_path()), "");
}

// A connection that breaks while the body is read: the rules see the body
// as far as it came, exactly as the core does given that much, and a
// request that goes on is re-executed with exactly those bytes (the page
// then meets the broken connection when it reads on).
TEST(ZelkWafDll, ExtensionActsOnWhatItReadWhenReadClientFails) {
  const std::string pad(100 * 1024, 'x');
  const struct {
    const char* name;
    std::string body;
    bool blocked;
  } cases[] = {
      {"injection past the break", "content=" + pad + "&id=1%20union%20select%201,2", false},
      {"injection before the break", "user=admin'--&content=" + pad, true},
  };
  constexpr std::size_t kBreak = 60000;
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  std::size_t log_seen = 0;
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    const RequestCase c = FormPost(t.body);
    FakeEcb ecb;
    SetCase(ecb, c, 5);
    ecb.fail_read_at = kBreak;
    const DWORD status = dll.extension_proc()(ecb.ecb());
    EXPECT_EQ(ecb.position(), kBreak);
    if (t.blocked) {
      EXPECT_EQ(status, static_cast<DWORD>(HSE_STATUS_SUCCESS));
      EXPECT_EQ(ecb.exec, nullptr);
    } else {
      ASSERT_EQ(status, static_cast<DWORD>(HSE_STATUS_PENDING));
      ASSERT_NE(ecb.exec, nullptr);
      ASSERT_NE(ecb.exec->pEntity, nullptr);
      EXPECT_TRUE(std::string(static_cast<const char*>(ecb.exec->pEntity->lpbData),
                              ecb.exec->pEntity->cbAvailable) == t.body.substr(0, kBreak));
      ecb.Complete();
      EXPECT_EQ(ecb.calls.back(), "4(null,null,null)");
    }
    const CoreRun core = RunThroughCore(FormPost(t.body.substr(0, kBreak)));
    EXPECT_EQ(status == HSE_STATUS_SUCCESS, core.body_status == kStatusReqFinished);
    EXPECT_EQ(ecb.written, core.written);
    const std::vector<std::string> logged = NewLogMessages(folder.log_path(), &log_seen);
    EXPECT_EQ(logged, LogMessages(core.log));
    EXPECT_EQ(logged.size(), t.blocked ? 1u : 0u);
  }
}

// Private bytes of this process (under Wine: its anonymous resident memory).
std::size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  EXPECT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
      << GetLastError();
  return counters.PagefileUsage;
}

// Each request with a body read holds a record of up to the cap until the
// server is done with it. Many such requests, each ended by the server's
// completion or refused by it, must leave this process no larger: a record
// kept past its request would add the cap each time.
TEST(ZelkWafDll, ExtensionFreesEachRequestsRecordWhenTheServerIsDone) {
  const RequestCase c = FormPost("content=" + std::string(kBodyInspectionCap, 'a'));
  ModuleFolder folder(c);
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  enum class Server { kCompletes, kRefusesCompletion, kRefusesExecution };
  const auto run = [&](Server server) {
    FakeEcb ecb;
    SetCase(ecb, c, kReadAhead);
    ecb.read_piece = 64 * 1024;
    ecb.fail_io_completion = server == Server::kRefusesCompletion;
    ecb.fail_exec_url = server == Server::kRefusesExecution;
    const DWORD status = dll.extension_proc()(ecb.ecb());
    if (server == Server::kCompletes) {
      ASSERT_EQ(status, static_cast<DWORD>(HSE_STATUS_PENDING));
      EXPECT_NE(ecb.completion_context, nullptr) << "the record is the completion's context";
      ecb.Complete();
    } else {
      EXPECT_EQ(status, static_cast<DWORD>(HSE_STATUS_ERROR));
    }
  };
  run(Server::kCompletes);  // the heap's first growth
  constexpr int kRequests = 8;
  const std::size_t before = PrivateBytes();
  for (const Server server :
       {Server::kCompletes, Server::kRefusesCompletion, Server::kRefusesExecution}) {
    for (int i = 0; i < kRequests; ++i) run(server);
  }
  const std::size_t after = PrivateBytes();
  // Leaking would add 3 * 8 * 4 MB; three bodies' worth is left for heap noise.
  EXPECT_LT(after, before + 3 * kBodyInspectionCap) << before << " -> " << after;
}

long EnvCount(const char* name, long fallback) {
  const char* text = std::getenv(name);
  const long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
  return value > 0 ? value : fallback;
}

// The DLL under load from many threads, as IIS's worker threads call it:
// blocked and passed requests and send-response notifications, the event log
// on. Every block logs one whole line, memory after all requests stays within
// 5% of memory after the first 10,000 (or after a tenth of a shorter run), and
// the DLL unloads when it is freed. ZELK_SOAK_THREADS and ZELK_SOAK_REQUESTS
// (in all) set the load; the default is short, the soak (scripts/dll-soak.sh)
// is 8 threads and 1,000,000 requests.
//
// The threads are this program's, not the DLL's, and they end while the DLL
// is loaded, as IIS's pool threads do: each thread's end runs the DLL's
// thread-detach work. That is where a thread_local with a destructor in the
// DLL once freed a stale pointer and damaged the heap; repeated runs
// (--gtest_repeat) found it within a few iterations.
TEST(ZelkWafDll, ManyThreadsLogWholeLinesAndMemoryStaysLevel) {
  const int threads = static_cast<int>(EnvCount("ZELK_SOAK_THREADS", 8));
  const long total = EnvCount("ZELK_SOAK_REQUESTS", 16000);
  const long per_thread = total / threads;
  const long warm_up = std::min<long>(10000, total / 10) / threads;
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  const HttpFilterProcFn proc = dll.filter_proc();

  std::atomic<long> blocked{0}, wrong{0};
  std::atomic<int> warmed{0};
  std::mutex mu;
  std::condition_variable cv;
  bool measured = false;
  std::size_t after_warm_up = 0;
  // Measured by the last thread to finish, before any thread ends, so that
  // both figures count the same threads' stacks.
  int finished = 0;
  std::size_t at_end = 0;
  auto worker = [&](int t) {
    for (long i = 0; i < per_thread; ++i) {
      if (i == warm_up) {
        std::unique_lock<std::mutex> lock(mu);
        if (++warmed == threads) {
          after_warm_up = PrivateBytes();
          measured = true;
          cv.notify_all();
        }
        cv.wait(lock, [&] { return measured; });
      }
      FakeIis iis;
      const std::string id = std::to_string(t) + "-" + std::to_string(i);
      switch (i % 3) {
        case 0:
          SetRequest(iis, "GET", "/news.asp?id=" + id + "%20union%20select%201,2", "localhost");
          break;
        case 1:
          SetRequest(iis, "PUT", "/up/" + id + ".asp", "localhost");
          break;
        default:
          SetRequest(iis, "GET", "/index.asp?id=" + id, "localhost");
          break;
      }
      const DWORD status = iis.PreprocHeaders(proc);
      const bool block = i % 3 != 2;
      if ((status == SF_STATUS_REQ_FINISHED) != block) ++wrong;
      if (status == SF_STATUS_REQ_FINISHED) {
        ++blocked;
      } else {
        iis.status = i % 2 == 0 ? 500 : 200;
        iis.SendResponse(proc);
      }
    }
    std::unique_lock<std::mutex> lock(mu);
    if (++finished == threads) {
      at_end = PrivateBytes();
      cv.notify_all();
    }
    cv.wait(lock, [&] { return finished == threads; });
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(worker, t);
  for (std::thread& th : pool) th.join();
  dll.Unload();
  EXPECT_EQ(GetModuleHandleA(folder.dll.c_str()), nullptr) << "still loaded once freed";

  EXPECT_EQ(wrong.load(), 0);
  const std::vector<std::string> messages = LogMessages(testing::ReadFileBytes(folder.log_path()));
  EXPECT_EQ(static_cast<long>(messages.size()), blocked.load());
  long torn = 0;
  for (const std::string& m : messages) {
    const std::string injection_end = "%20union%20select%201,2";
    const bool whole =
        m == "10.0.0.5 请求方式非法:PUT" ||
        (m.rfind("10.0.0.5 ", 0) == 0 && m.find("localhost/news.asp?id=") != std::string::npos &&
         m.size() > injection_end.size() &&
         m.compare(m.size() - injection_end.size(), injection_end.size(), injection_end) == 0);
    torn += !whole;
  }
  EXPECT_EQ(torn, 0);
  std::printf("memory after the warm-up: %zu bytes, at the end: %zu bytes (%ld requests)\n",
              after_warm_up, at_end, per_thread * threads);
  EXPECT_LE(at_end, after_warm_up + after_warm_up / 20) << after_warm_up << " -> " << at_end;
}

// IIS's thread pool starts and ends threads while the DLL stays loaded, and
// each thread that matched a pattern ends through the DLL's thread-detach
// work. Many short-lived threads, each blocking an injection (a JIT match)
// and passing a request, must leave the heap whole: every request answered
// as it should be, every line logged, the DLL unloaded at the end. (A
// thread_local with a destructor in the DLL once freed a stale pointer at
// each thread's end here, and a later allocation crashed.)
TEST(ZelkWafDll, ThreadsEndingWhileItIsLoadedLeaveTheHeapWhole) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  const HttpFilterProcFn proc = dll.filter_proc();
  constexpr int kRounds = 25;
  constexpr int kThreads = 8;
  std::atomic<long> wrong{0};
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t) {
      pool.emplace_back([&, t] {
        FakeIis injection, benign;
        const std::string id = std::to_string(round) + "-" + std::to_string(t);
        SetRequest(injection, "GET", "/news.asp?id=" + id + "%20union%20select%201,2", "localhost");
        SetRequest(benign, "GET", "/index.asp?id=" + id, "localhost");
        if (injection.PreprocHeaders(proc) != SF_STATUS_REQ_FINISHED) ++wrong;
        if (benign.PreprocHeaders(proc) != SF_STATUS_REQ_NEXT_NOTIFICATION) ++wrong;
      });
    }
    for (std::thread& th : pool) th.join();
  }
  dll.Unload();
  EXPECT_EQ(GetModuleHandleA(folder.dll.c_str()), nullptr) << "still loaded once freed";
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(LogMessages(testing::ReadFileBytes(folder.log_path())).size(),
            static_cast<std::size_t>(kRounds * kThreads));
}

}  // namespace
}  // namespace zelk::filter::isapi
