// The adapter's translation of IIS's calls, without the DLL: the size
// protocol of GetServerVariable (filter and extension), header removal, and
// the notification members, plus the module folder rule.
#include "filter/isapi/isapi_context.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "filter/isapi/module_path.h"

namespace zelk::filter::isapi {
namespace {

// What the fake server's GetServerVariable does on the next call.
struct VariableReply {
  BOOL result = FALSE;
  DWORD size = 0;   // written to *lpdwSize
  DWORD error = 0;  // SetLastError
  std::string value;
};

VariableReply g_reply;
std::string g_set_header;

BOOL WINAPI ReplyGetServerVariable(HTTP_FILTER_CONTEXT*, LPSTR, LPVOID buffer, LPDWORD size) {
  if (g_reply.result) std::memcpy(buffer, g_reply.value.c_str(), g_reply.value.size() + 1);
  *size = g_reply.size;
  SetLastError(g_reply.error);
  return g_reply.result;
}

BOOL WINAPI ReplyEcbGetServerVariable(HCONN, LPSTR, LPVOID buffer, LPDWORD size) {
  return ReplyGetServerVariable(nullptr, nullptr, buffer, size);
}

BOOL WINAPI RecordSetHeader(HTTP_FILTER_CONTEXT*, LPSTR name, LPSTR value) {
  g_set_header =
      std::string(name) + "=" + (value == nullptr ? "<null>" : "\"" + std::string(value) + "\"");
  return TRUE;
}

TEST(IsapiFilterContext, TranslatesTheServerVariableSizeProtocol) {
  struct Case {
    const char* name;
    VariableReply reply;
    VariableResult expected;
    std::uint32_t expected_size;  // *size afterwards
  };
  const Case cases[] = {
      {"value copied", {TRUE, 4, 0, "abc"}, VariableResult::kOk, 4},
      {"too small with the size needed",
       {FALSE, 9000, ERROR_INSUFFICIENT_BUFFER, ""},
       VariableResult::kTooSmall,
       9000},
      {"no such variable", {FALSE, 0, ERROR_INVALID_INDEX, ""}, VariableResult::kMissing, 16},
      {"other failure", {FALSE, 9000, ERROR_INVALID_PARAMETER, ""}, VariableResult::kMissing, 16},
      // "Too small" without a larger size would only repeat the same call.
      {"too small without a larger size",
       {FALSE, 16, ERROR_INSUFFICIENT_BUFFER, ""},
       VariableResult::kMissing,
       16},
      {"success claiming more than the buffer", {TRUE, 17, 0, "x"}, VariableResult::kMissing, 16},
  };
  // The filter's and the extension's contexts share the protocol.
  for (const Case& c : cases) {
    HTTP_FILTER_CONTEXT pfc{};
    pfc.GetServerVariable = &ReplyGetServerVariable;
    IsapiFilterContext filter(&pfc, SF_NOTIFY_PREPROC_HEADERS, nullptr);
    EXTENSION_CONTROL_BLOCK ecb{};
    ecb.GetServerVariable = &ReplyEcbGetServerVariable;
    IsapiExtensionContext extension(&ecb);
    for (FilterContext* ctx :
         {static_cast<FilterContext*>(&filter), static_cast<FilterContext*>(&extension)}) {
      g_reply = c.reply;
      char buffer[16] = {};
      std::uint32_t size = sizeof buffer;
      EXPECT_EQ(ctx->GetServerVariable("QUERY_STRING", buffer, &size), c.expected) << c.name;
      EXPECT_EQ(size, c.expected_size) << c.name;
    }
  }
}

TEST(IsapiFilterContext, RemovesAHeaderWithAnEmptyValueAsIisExpects) {
  HTTP_FILTER_CONTEXT pfc{};
  HTTP_FILTER_SEND_RESPONSE response{};
  response.SetHeader = &RecordSetHeader;
  response.HttpStatus = 403;
  IsapiFilterContext ctx(&pfc, SF_NOTIFY_SEND_RESPONSE, &response);
  EXPECT_TRUE(ctx.SetHeader("X-AspNet-Version:", nullptr));
  EXPECT_EQ(g_set_header, "X-AspNet-Version:=\"\"");
  EXPECT_TRUE(ctx.SetHeader("Server:", "ZeLk Web Firewall"));
  EXPECT_EQ(g_set_header, "Server:=\"ZeLk Web Firewall\"");
  EXPECT_EQ(ctx.HttpStatus(), 403u);
  EXPECT_EQ(ctx.PhysicalPath(), nullptr);
}

TEST(IsapiFilterContext, ReadsNotificationMembersOnlyInTheirNotification) {
  HTTP_FILTER_CONTEXT pfc{};
  HTTP_FILTER_ACCESS_DENIED denied{"/a.asp", "C:\\Inetpub\\wwwroot\\a.asp", SF_DENIED_LOGON};
  IsapiFilterContext access_denied(&pfc, SF_NOTIFY_ACCESS_DENIED, &denied);
  EXPECT_STREQ(access_denied.PhysicalPath(), "C:\\Inetpub\\wwwroot\\a.asp");
  EXPECT_FALSE(access_denied.SetHeader("Server:", "x"));
  // During the request notification pvNotification is another structure.
  HTTP_FILTER_PREPROC_HEADERS headers{};
  IsapiFilterContext preproc(&pfc, SF_NOTIFY_PREPROC_HEADERS, &headers);
  EXPECT_EQ(preproc.PhysicalPath(), nullptr);
  EXPECT_FALSE(preproc.SetHeader("Server:", "x"));
  EXPECT_EQ(preproc.HttpStatus(), 0u);
}

TEST(ModuleFolderOf, CutsAfterTheLastSeparatorThatIsNotAGbkTrailByte) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"C:\\Program Files\\ZelkWAF\\IIS\\ZelkWAF.dll", "C:\\Program Files\\ZelkWAF\\IIS\\"},
      {"C:\\ZelkWAF.dll", "C:\\"},
      {"C:ZelkWAF.dll", "C:"},
      {"ZelkWAF.dll", ""},
      {"", ""},
      // 0xB1 0x5C is one GBK character whose second byte is a backslash.
      {"D:\\\xB1\x5C\\ZelkWAF.dll", "D:\\\xB1\x5C\\"},
      {"D:\\\xB1\x5C"
       "ZelkWAF.dll",
       "D:\\"},
      {"\\\\server\\share\\IIS\\ZelkWAF.dll", "\\\\server\\share\\IIS\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(ModuleFolderOf(c.path), c.folder) << c.path;
}

}  // namespace
}  // namespace zelk::filter::isapi
