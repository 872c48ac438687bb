// The filter module: one state per process, created at load and destroyed at
// unload, and the notification entry that every host calls.
//
// Lifetimes: the Module (process) holds the event log, the filter lock and
// the loaded configuration (settings, compiled patterns, white list), which
// is complete when LoadModule returns and read-only from then on; each
// notification works on its own stack-local data.
//
// Thread-safety: HttpFilterProc may be called from any number of threads; it
// holds the module's recursive filter lock for the whole of each call, so
// notifications run one at a time (a host may call it again from inside a
// notification on the same thread, as IIS does when the filter sends its own
// response head). The configuration needs no lock: the wildcard extension
// and other hosts' workers read the same FilterConfig concurrently.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "filter/body.h"
#include "filter/context.h"
#include "filter/decode.h"
#include "filter/eventlog.h"
#include "filter/patterns.h"
#include "filter/settings.h"

namespace zelk::filter {

struct ModuleOptions {
  bool use_jit = true;
  EventLog::Clock clock;  // time source of the event log; empty: local time
  // Whether RunNotification holds the filter lock. A host whose
  // notifications never run at the same time (an nginx worker is one
  // thread) turns it off and saves a lock and an unlock per notification.
  bool serialize_notifications = true;
};

// Everything read from the module folder at load. Built once by LoadModule
// and shared read-only: nothing in it changes while requests are served.
struct FilterConfig {
  FilterSettings settings;             // WirteLog is off when the event log could not be opened
  ExtensionList denied_download_exts;  // settings.DenyFileExtDownValue, read once
  CompiledPatterns patterns;
  WhiteList white_list;
};

struct Module {
  std::string module_dir;  // with its trailing separator
  std::string settings_path;
  std::string whitelist_path;
  std::string log_path;
  std::shared_ptr<const FilterConfig> config;  // never null after LoadModule
  EventLog log;
  std::recursive_mutex filter_lock;
  bool serialize_notifications = true;  // ModuleOptions::serialize_notifications

  const FilterConfig& cfg() const { return *config; }
};

// Loads the module from module_dir (ending in a separator): settings,
// patterns, white list and event log. A failing step abandons the rest
// silently; the module then serves with what was set up.
std::unique_ptr<Module> LoadModule(const std::string& module_dir,
                                   const ModuleOptions& options = {});

// A module that has no folder to read from (its own path could not be
// found): built-in defaults and patterns, no white list, no event log.
std::unique_ptr<Module> LoadDefaultModule(const ModuleOptions& options = {});

// Closes the event log and frees the state. Never throws.
void UnloadModule(std::unique_ptr<Module> module);

// What the request notification decided.
enum class Outcome {
  kPassed,   // the request goes on
  kBlocked,  // the filter answered it with the block page
  kLearned,  // an injection match let through in learning mode
};

struct Verdict {
  std::uint32_t status = kStatusReqNextNotification;
  Outcome outcome = Outcome::kPassed;
};

// Dispatches one notification under the filter lock (unless the host
// turned it off). Any failure inside a handler is caught and gives
// kStatusReqNextNotification (the filter fails open); output already sent
// stays sent.
Verdict RunNotification(Module& module, FilterContext& ctx, std::uint32_t notification_type);

inline std::uint32_t HttpFilterProc(Module& module, FilterContext& ctx,
                                    std::uint32_t notification_type) {
  return RunNotification(module, ctx, notification_type).status;
}

// The handlers, called by RunNotification with the filter lock held.
Verdict OnPreprocHeaders(Module& module, FilterContext& ctx);
std::uint32_t OnAccessDenied(Module& module, FilterContext& ctx, const std::string& physical_path);

// The body notification, for hosts that read request bodies (in IIS the
// wildcard extension; IIS gives a filter no body). Called after the request
// notification let the request go on. Reads `body` only when a check needs
// it (SqlPost on a script request with a form, JSON or multipart body;
// DenyShell on any multipart body), and then at most kBodyInspectionCap
// bytes; a host hands on what was read and leaves the rest unread. Takes no
// filter lock: the configuration is read-only and the log has its own lock.
// Any failure inside gives kStatusReqNextNotification (the filter fails open).
Verdict RunBodyNotification(Module& module, FilterContext& ctx, BodySource& body);
Verdict OnRequestBody(Module& module, FilterContext& ctx, BodySource& body);

// Reads a server variable of any length: a 4096-byte stack buffer first, a
// larger one when the server says the value does not fit. Missing: empty.
// The name ends in a NUL (a literal), as FilterContext::ReadVariable needs.
std::string ReadServerVariable(FilterContext& ctx, std::string_view name);
// The same without a copy where the host can give its own bytes: the view
// lives until the notification returns, or as long as *storage when the
// value had to be copied there.
std::string_view ReadServerVariable(FilterContext& ctx, std::string_view name,
                                    std::string* storage);

// Sends "200 OK" with the server's standard headers, then the page.
void SendBlockPage(FilterContext& ctx, const std::string& page);

}  // namespace zelk::filter
