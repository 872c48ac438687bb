#include "filter/module.h"

#include "filter/response.h"
#include "platform/appendfile.h"

namespace zelk::filter {

namespace {

// The steps of the load that fill the configuration, in their order. A
// failing step abandons the rest silently; what was set up before serves.
void LoadConfig(Module& m, FilterConfig& c, bool use_jit) try {
  c.settings = LoadSettings(m.settings_path);
  c.denied_download_exts = ExtensionList(c.settings.DenyFileExtDownValue);
  c.patterns = CompilePatterns(c.settings, use_jit);
  if (c.settings.WirteLog) {
    if (platform::FileExists(m.log_path)) {
      std::string error;
      // A log that exists but cannot be opened abandons the rest of the
      // load, like any other failing step.
      if (!m.log.Open(m.log_path, &error)) return;
    } else {
      c.settings.WirteLog = false;
    }
  }
  if (platform::FileExists(m.whitelist_path)) LoadWhiteList(m.whitelist_path, &c.white_list);
} catch (...) {
}

}  // namespace

std::unique_ptr<Module> LoadModule(const std::string& module_dir, const ModuleOptions& options) {
  auto m = std::make_unique<Module>();
  if (options.clock) m->log.set_clock(options.clock);
  m->serialize_notifications = options.serialize_notifications;
  auto config = std::make_shared<FilterConfig>();
  m->module_dir = module_dir;
  m->settings_path = module_dir + kSettingsFileName;
  m->log_path = module_dir + kEventLogFileName;
  m->whitelist_path = module_dir + kWhiteListFileName;
  LoadConfig(*m, *config, options.use_jit);
  m->config = std::move(config);
  return m;
}

std::unique_ptr<Module> LoadDefaultModule(const ModuleOptions& options) {
  auto m = std::make_unique<Module>();
  m->serialize_notifications = options.serialize_notifications;
  auto config = std::make_shared<FilterConfig>();
  try {
    config->settings.WirteLog = false;
    config->denied_download_exts = ExtensionList(config->settings.DenyFileExtDownValue);
    config->patterns = CompilePatterns(config->settings, options.use_jit);
  } catch (...) {
  }
  m->config = std::move(config);
  return m;
}

void UnloadModule(std::unique_ptr<Module> module) {
  try {
    if (module) module->log.Close();
    module.reset();
  } catch (...) {
  }
}

Verdict RunNotification(Module& module, FilterContext& ctx, std::uint32_t notification_type) {
  std::unique_lock<std::recursive_mutex> hold(module.filter_lock, std::defer_lock);
  if (module.serialize_notifications) hold.lock();
  try {
    switch (notification_type) {
      case kNotifyPreprocHeaders:
        return OnPreprocHeaders(module, ctx);
      case kNotifyAccessDenied: {
        const char* path = ctx.PhysicalPath();
        return {OnAccessDenied(module, ctx, path != nullptr ? path : ""), Outcome::kPassed};
      }
      case kNotifySendResponse:
        return {OnSendResponse(module.cfg().settings, ctx), Outcome::kPassed};
      default:
        return {};
    }
  } catch (...) {
    return {};
  }
}

Verdict RunBodyNotification(Module& module, FilterContext& ctx, BodySource& body) {
  try {
    return OnRequestBody(module, ctx, body);
  } catch (...) {
    return {};
  }
}

bool FilterContext::ReadVariable(std::string_view variable, std::string* storage,
                                 std::string_view* value) {
  const char* name = variable.data();
  char buffer[4096];
  std::uint32_t size = sizeof buffer;
  VariableResult r = GetServerVariable(name, buffer, &size);
  if (r == VariableResult::kOk) {
    storage->assign(buffer, size > 0 ? size - 1 : 0);
    *value = *storage;
    return true;
  }
  // The server bounds request lines and headers (IIS: MaxRequestBytes), so
  // the value it asks room for is bounded too. A value that grows between
  // calls is asked for again a few times before it counts as missing.
  for (int attempt = 0; attempt < 4 && r == VariableResult::kTooSmall && size > 0; ++attempt) {
    storage->assign(size, '\0');
    r = GetServerVariable(name, storage->data(), &size);
    if (r == VariableResult::kOk) {
      storage->resize(size > 0 ? size - 1 : 0);
      *value = *storage;
      return true;
    }
  }
  *value = std::string_view();
  return false;
}

std::string_view ReadServerVariable(FilterContext& ctx, std::string_view name,
                                    std::string* storage) try {
  std::string_view value;
  if (!ctx.ReadVariable(name, storage, &value)) return std::string_view();
  return value;
} catch (...) {
  // A fault inside the server's call reads as a missing variable.
  return std::string_view();
}

std::string ReadServerVariable(FilterContext& ctx, std::string_view name) {
  std::string storage;
  const std::string_view value = ReadServerVariable(ctx, name, &storage);
  return value.data() == storage.data() ? storage : std::string(value);
}

void SendBlockPage(FilterContext& ctx, const std::string& page) {
  ctx.SendResponseHeader("200 OK", nullptr);
  ctx.WriteClient(page.data(), static_cast<std::uint32_t>(page.size()));
}

}  // namespace zelk::filter
