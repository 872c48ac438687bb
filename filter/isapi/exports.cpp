// ZelkWAF.dll: the module's load and unload routines and its six ISAPI
// entry points. Each entry point only translates between IIS's structures and
// the filter core; nothing throws across it.
//
// Threading: DllMain runs under the loader lock, so loading does only file
// reads, pattern compilation and memory work there (no threads, no
// LoadLibrary). IIS calls HttpFilterProc on many worker threads; the core
// serialises them under the module's filter lock. HttpExtensionProc runs the
// body checks on IIS's threads too, but takes no lock: it reads only the
// read-only configuration and writes through the event log's own lock.
#include <windows.h>  // first: the headers below need its types

#include <httpext.h>
#include <httpfilt.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "filter/isapi/isapi_context.h"
#include "filter/isapi/module_path.h"
#include "filter/module.h"

namespace {

using zelk::filter::Module;

constexpr DWORD kVersion = MAKELONG(0, 4);  // 4.0: major in the high word
constexpr char kDescription[] = "ZeLk Web Firewall";
constexpr DWORD kFilterFlags = SF_NOTIFY_ORDER_LOW | SF_NOTIFY_PREPROC_HEADERS |
                               SF_NOTIFY_ACCESS_DENIED | SF_NOTIFY_SEND_RESPONSE |
                               SF_NOTIFY_NONSECURE_PORT | SF_NOTIFY_SECURE_PORT;
static_assert(kVersion == 0x00040000);
static_assert(kFilterFlags == 0x00024843);
static_assert(sizeof kDescription <= SF_MAX_FILTER_DESC_LEN &&
              sizeof kDescription <= HSE_MAX_EXT_DLL_NAME_LEN);

// Created at process attach, destroyed at detach; read-only in between.
std::unique_ptr<Module> g_module;

// Full path of a loaded module (the host program for null). The buffer grows
// until the path fits, so a deep folder is never cut to a wrong one.
std::string ModuleFileName(HMODULE module) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

// The folder of the module loaded as "ZelkWAF.dll". A copy loaded under any
// other file name is not found by that name and falls back to the folder of
// the host program (for IIS, its worker process's folder).
std::string ModuleDirectory() {
  return zelk::filter::isapi::ModuleFolderOf(ModuleFileName(GetModuleHandleA("ZelkWAF.dll")));
}

void CopyDescription(char* field, std::size_t field_size) {
  std::memset(field, 0, field_size);
  std::memcpy(field, kDescription, sizeof kDescription - 1);
}

// "Run the current request again with its own URL, method, headers, user and
// body, skipping this extension." The server may read the structure after
// HSE_REQ_EXEC_URL returns (the child request runs asynchronously), so it
// lives for the whole process; it is never written.
HSE_EXEC_URL_INFO g_exec_same_request = {nullptr, nullptr, nullptr,
                                         nullptr, nullptr, HSE_EXEC_URL_IGNORE_CURRENT_INTERCEPTOR};

// The re-execution of a request whose body this extension has read part of.
//
// Once bytes are read from the connection they are gone for the page, so
// they go to the child in pEntity. IIS 6.0's documentation of
// HSE_EXEC_URL_INFO and HSE_EXEC_URL_ENTITY_INFO: with a null pEntity the
// child URL may read any entity body still outstanding and unconsumed;
// otherwise lpbData is a buffer of cbAvailable bytes the child takes as the
// data the client sent, and the child must be able to tell from what it is
// given whether to call ReadClient for more. The child's request keeps its
// Content-Length (cbTotalBytes), so a page that finds cbAvailable short of it
// reads the rest, which this extension left unread on the connection.
//
// The child runs asynchronously and the server reads these structures until
// it ends, so the record is allocated per request, passed as the context of
// the completion routine, and freed there.
struct ExecWithBody {
  explicit ExecWithBody(std::string bytes) : body(std::move(bytes)) {
    entity.cbAvailable = static_cast<DWORD>(body.size());
    entity.lpbData = body.data();
    info = g_exec_same_request;
    info.pEntity = &entity;
  }
  ExecWithBody(const ExecWithBody&) = delete;
  ExecWithBody& operator=(const ExecWithBody&) = delete;

  std::string body;
  HSE_EXEC_URL_ENTITY_INFO entity{};
  HSE_EXEC_URL_INFO info{};
};

// Runs once the server has finished the re-executed request: the session is
// this extension's to close. context is the request's ExecWithBody, or null
// when the body was not read.
VOID WINAPI OnExecUrlCompleted(EXTENSION_CONTROL_BLOCK* ecb, PVOID context, DWORD /*bytes*/,
                               DWORD /*error*/) {
  if (ecb != nullptr && ecb->ServerSupportFunction != nullptr) {
    ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_DONE_WITH_SESSION, nullptr, nullptr, nullptr);
  }
  delete static_cast<ExecWithBody*>(context);
}

// Hands the request to the server to run again (with the body read so far
// when record is set). HSE_STATUS_PENDING: the completion routine ends the
// session; HSE_STATUS_ERROR when the server refuses either call (the record
// is freed here then, as no completion will come).
DWORD ReExecute(EXTENSION_CONTROL_BLOCK* ecb, std::unique_ptr<ExecWithBody> record) {
  HSE_EXEC_URL_INFO* info = record ? &record->info : &g_exec_same_request;
  if (!ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_IO_COMPLETION,
                                  reinterpret_cast<LPVOID>(&OnExecUrlCompleted),
                                  reinterpret_cast<LPDWORD>(record.get()), nullptr)) {
    return HSE_STATUS_ERROR;
  }
  if (!ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_EXEC_URL, info, nullptr, nullptr)) {
    return HSE_STATUS_ERROR;
  }
  // The child may already have finished and the routine freed the record;
  // it is not touched again here.
  (void)record.release();
  return HSE_STATUS_PENDING;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  try {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        // Thread notifications stay on: the statically linked runtime
        // (winpthreads, thread-local storage) cleans up per thread on them.
        {
          const std::string folder = ModuleDirectory();
          // Without its own path the module has no folder to read from; it
          // then serves with the built-in defaults and patterns rather than read
          // files relative to whatever the current folder happens to be.
          g_module =
              folder.empty() ? zelk::filter::LoadDefaultModule() : zelk::filter::LoadModule(folder);
        }
        break;
      case DLL_PROCESS_DETACH:
        if (reserved != nullptr) {
          // The process is ending: other threads were stopped wherever they
          // were, possibly inside the module's locks. The system closes the
          // log handle and frees the memory; every line was already handed
          // to it.
          (void)g_module.release();
        } else {
          zelk::filter::UnloadModule(std::move(g_module));
        }
        break;
      default:
        break;
    }
  } catch (...) {
    // Loading and unloading fail silently; the module stays loaded.
  }
  return TRUE;
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* version) {
  if (version == nullptr) return FALSE;
  version->dwFilterVersion = kVersion;
  CopyDescription(version->lpszFilterDesc, sizeof version->lpszFilterDesc);
  version->dwFlags = kFilterFlags;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notification_type, VOID* notification) {
  try {
    if (pfc == nullptr || !g_module) return SF_STATUS_REQ_NEXT_NOTIFICATION;
    zelk::filter::isapi::IsapiFilterContext ctx(pfc, notification_type, notification);
    return zelk::filter::HttpFilterProc(*g_module, ctx, notification_type);
  } catch (...) {
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}

BOOL WINAPI TerminateFilter(DWORD /*flags*/) { return TRUE; }

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* version) {
  if (version == nullptr) return FALSE;
  version->dwExtensionVersion = kVersion;
  CopyDescription(version->lpszExtensionDesc, sizeof version->lpszExtensionDesc);
  return TRUE;
}

// The body notification, then the request again. A block ends the request
// with the page already written. A failed ReadClient ends the body where it
// broke: the rules judge what came, and a request that goes on is re-executed
// with those bytes (the page meets the broken connection when it reads on).
// Anything else failing in here (an exception) fails open as the extension
// did before it read bodies: the request is re-executed unchanged.
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  try {
    if (ecb == nullptr || ecb->ServerSupportFunction == nullptr) return HSE_STATUS_ERROR;
    std::unique_ptr<ExecWithBody> record;
    if (g_module) {
      try {
        zelk::filter::isapi::IsapiExtensionContext ctx(ecb);
        zelk::filter::isapi::EcbBodySource body(ecb);
        const zelk::filter::Verdict verdict =
            zelk::filter::RunBodyNotification(*g_module, ctx, body);
        if (verdict.status == zelk::filter::kStatusReqFinished) return HSE_STATUS_SUCCESS;
        if (!body.taken().empty()) record = std::make_unique<ExecWithBody>(std::move(body.taken()));
      } catch (...) {
        record.reset();
      }
    }
    return ReExecute(ecb, std::move(record));
  } catch (...) {
    return HSE_STATUS_ERROR;
  }
}

BOOL WINAPI TerminateExtension(DWORD /*flags*/) { return TRUE; }
