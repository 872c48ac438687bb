// Loads the built ZelkWAF.dll the way IIS does (LoadLibraryA from its own
// module folder, the entry points by their plain names) and drives it through
// hand-built ISAPI structures whose callbacks are this test's. Every request
// case of the shared table runs through the DLL and, for comparison, through
// the core with the fake context: the server calls, statuses, bytes sent and
// event log lines must be the same.
#include <windows.h>
#include <httpext.h>
#include <httpfilt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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
  ASSERT_TRUE(CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to << ": " << GetLastError();
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

 private:
  HMODULE handle_;
};

// One request as IIS presents it to a filter. The callbacks record every call
// in the words of the core's FakeContext, so the two can be compared.
class FakeIis {
 public:
  std::map<std::string, std::string> variables;
  DWORD status = 200;                 // HttpStatus of the response
  std::vector<std::string> calls;     // in order
  std::string written;                // everything passed to WriteClient
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
  static BOOL WINAPI GetServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
    FakeIis& self = Of(pfc);
    self.calls.push_back(std::string("GetServerVariable(") + name + ")");
    if (std::strcmp(name, "QUERY_STRING") == 0) ++self.query_string_reads;
    const auto it = self.variables.find(name);
    if (it == self.variables.end()) {
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

  static BOOL WINAPI WriteClient(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD reserved) {
    FakeIis& self = Of(pfc);
    EXPECT_EQ(reserved, 0u);
    self.calls.push_back("WriteClient(" + std::to_string(*bytes) + ")");
    self.written.append(static_cast<const char*>(buffer), *bytes);
    return TRUE;
  }

  static BOOL WINAPI ServerSupportFunction(HTTP_FILTER_CONTEXT* pfc, enum SF_REQ_TYPE request, PVOID data,
                                           ULONG_PTR ul1, ULONG_PTR ul2) {
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
    if (c.rfind("SetHeader(", 0) == 0 && c.size() >= 6 && c.compare(c.size() - 6, 6, ",null)") == 0) {
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
  explicit ModuleFolder(const RequestCase& c, const char* dll_name = "ZelkWAF.dll") : dll(dir.path() + dll_name) {
    CopyFileOrFail(BuiltDll(), dll);
    testing::WriteModuleFiles(c, dir.path());
  }
  std::string log_path() const { return dir.path() + "ZelkWAFLog.txt"; }
};

// What the core does with the same case (fake server, its own folder).
struct CoreRun {
  std::uint32_t request_status = 0;
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
  for (const char* name : {"GetFilterVersion", "HttpFilterProc", "TerminateFilter", "GetExtensionVersion",
                           "HttpExtensionProc", "TerminateExtension"}) {
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

TEST_P(DllRequestCaseTest, AnswersLikeTheCoreAndAsTheTableSays) {
  const RequestCase& c = GetParam();
  ModuleFolder folder(c);
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok()) << GetLastError();
  HTTP_FILTER_VERSION version{};
  ASSERT_TRUE(dll.Get<GetFilterVersionFn>("GetFilterVersion")(&version));
  const HttpFilterProcFn proc = dll.filter_proc();

  FakeIis iis;
  for (const auto& [name, value] : testing::CaseServerVariables(c)) iis.variables[name] = value;
  const DWORD request_status = iis.PreprocHeaders(proc);
  DWORD denied_status = 0, response_status = 0;
  if (request_status == SF_STATUS_REQ_NEXT_NOTIFICATION) {
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
    EXPECT_EQ(request_status, static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
    ASSERT_GE(iis.calls.size(), 2u);
    EXPECT_EQ(iis.calls[iis.calls.size() - 2], "SendResponseHeader(200 OK,null)");
    EXPECT_EQ(iis.calls.back(), "WriteClient(" + std::to_string(page.size()) + ")");
    EXPECT_EQ(iis.written, page);
  } else {
    EXPECT_EQ(request_status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    if (c.status == 401) {
      EXPECT_EQ(denied_status, static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
    }
    if (c.expect == "replaced") {
      EXPECT_EQ(response_status, static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
      const std::string head = c.status == 403 ? "HTTP/1.1 404 Not Found\r\n" : "HTTP/1.1 200 OK\r\n";
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
  EXPECT_EQ(denied_status, core.denied_status);
  EXPECT_EQ(response_status, core.response_status);
  EXPECT_EQ(iis.calls, core.calls);
  EXPECT_EQ(iis.written, core.written);
  EXPECT_EQ(LogMessages(log), LogMessages(core.log));
}

INSTANTIATE_TEST_SUITE_P(Table, DllRequestCaseTest,
                         ::testing::ValuesIn(testing::LoadRequestCases(testing::RequestCasesPath())),
                         [](const ::testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

RequestCase DefaultFolder() {
  RequestCase c;  // no settings file, no white list, an empty event log
  return c;
}

void SetRequest(FakeIis& iis, const std::string& method, const std::string& target, const std::string& host) {
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
    EXPECT_EQ(iis.Notify(dll.filter_proc(), type), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION)) << type;
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
  EXPECT_EQ(injection.PreprocHeaders(dll.filter_proc()), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  EXPECT_EQ(injection.written, BuildBlockPage("GET请求存在注入语句!", "id=1%20union%20select%201,2", "localhost"));
  dll.Unload();
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) files.push_back(e.path().filename().string());
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
  EXPECT_EQ(LogMessages(testing::ReadFileBytes(folder.log_path())),
            std::vector<std::string>{"10.0.0.5 尝试GET注入:www.example.com/news.asp?" + query + " 参数:" + query});
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
    EXPECT_EQ(testing::ReadFileBytes(folder.log_path()), "") << "a log created while loaded stays unused";
  }
  LoadedDll reloaded(folder.dll);
  ASSERT_TRUE(reloaded.ok());
  EXPECT_EQ(BlockOnePut(reloaded), static_cast<DWORD>(SF_STATUS_REQ_FINISHED));
  EXPECT_EQ(LogMessages(testing::ReadFileBytes(folder.log_path())),
            std::vector<std::string>{"10.0.0.5 请求方式非法:PUT"});
}

HANDLE OpenLog(const std::string& path, DWORD access) {
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
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
  EXPECT_EQ(LogMessages(std::string(buffer, read)), std::vector<std::string>{"10.0.0.5 请求方式非法:PUT"});

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
  if (renamed == nullptr) GTEST_SKIP() << "started by ZelkWafDll.LoadedUnderAnotherNameUsesTheHostProgramsFolder";
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
  const BOOL started = CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                      host.path().c_str(), &startup, &process);
  SetEnvironmentVariableA("ZELK_RENAMED_DLL", nullptr);
  ASSERT_TRUE(started) << GetLastError();
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

// The wildcard-script-map side: a fake control block whose
// ServerSupportFunction records each call as text.
class FakeEcb {
 public:
  std::vector<std::string> calls;
  PFN_HSE_IO_COMPLETION completion = nullptr;
  bool fail_io_completion = false;
  bool fail_exec_url = false;

  FakeEcb() {
    ecb_.cbSize = sizeof ecb_;
    ecb_.ConnID = this;
    ecb_.ServerSupportFunction = &ServerSupportFunction;
  }
  EXTENSION_CONTROL_BLOCK* ecb() { return &ecb_; }

 private:
  static const char* Set(const void* p) { return p != nullptr ? "set" : "null"; }
  static BOOL WINAPI ServerSupportFunction(HCONN conn, DWORD request, LPVOID buffer, LPDWORD size,
                                           LPDWORD data_type) {
    auto* self = static_cast<FakeEcb*>(conn);
    std::string call = std::to_string(request) + "(" + Set(buffer) + "," + Set(size) + "," + Set(data_type) + ")";
    if (request == HSE_REQ_EXEC_URL && buffer != nullptr) {
      const auto* info = static_cast<const HSE_EXEC_URL_INFO*>(buffer);
      call += std::string(" url=") + Set(info->pszUrl) + " method=" + Set(info->pszMethod) + " headers=" +
              Set(info->pszChildHeaders) + " user=" + Set(info->pUserInfo) + " entity=" + Set(info->pEntity) +
              " flags=" + std::to_string(info->dwExecUrlFlags);
    }
    self->calls.push_back(call);
    if (request == HSE_REQ_IO_COMPLETION) {
      self->completion = reinterpret_cast<PFN_HSE_IO_COMPLETION>(buffer);
      return !self->fail_io_completion;
    }
    return request == HSE_REQ_EXEC_URL ? !self->fail_exec_url : TRUE;
  }
  EXTENSION_CONTROL_BLOCK ecb_{};
};

TEST(ZelkWafDll, ExtensionHandsTheRequestBackAndEndsTheSessionWhenDone) {
  ModuleFolder folder(DefaultFolder());
  LoadedDll dll(folder.dll);
  ASSERT_TRUE(dll.ok());
  HSE_VERSION_INFO version{};
  ASSERT_TRUE(dll.Get<GetExtensionVersionFn>("GetExtensionVersion")(&version));
  FakeEcb ecb;
  ASSERT_EQ(dll.Get<HttpExtensionProcFn>("HttpExtensionProc")(ecb.ecb()), static_cast<DWORD>(HSE_STATUS_PENDING));
  // HSE_REQ_IO_COMPLETION (1005) with the routine and no context, then
  // HSE_REQ_EXEC_URL (1026): the same request, skipping this extension.
  EXPECT_EQ(ecb.calls, (std::vector<std::string>{
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
  EXPECT_EQ(no_completion.calls, std::vector<std::string>{"1005(set,null,null)"}) << "no re-execution";

  FakeEcb no_exec;
  no_exec.fail_exec_url = true;
  EXPECT_EQ(proc(no_exec.ecb()), static_cast<DWORD>(HSE_STATUS_ERROR));
  EXPECT_EQ(no_exec.calls.size(), 2u);

  EXPECT_EQ(proc(nullptr), static_cast<DWORD>(HSE_STATUS_ERROR));
}

}  // namespace
}  // namespace zelk::filter::isapi
