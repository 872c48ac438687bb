// ngx_http_zelkwaf_module: the filter core inside nginx. It translates
// nginx's request into the server variables IIS gives the filter, runs the
// core's notifications at the matching points and turns their answers back
// into nginx's structures; the decisions are the core's.
//
//   access phase    the request notification, then (when the request has a
//                   body) the body notification once nginx has read the body
//   header filter   the access-denied notification for a 401, then the
//                   send-response notification (identity headers, 403/500
//                   replaced by the module's own response)
//   body filter     the replaced response's page instead of the original body
//
// Threading: nginx runs each worker's requests on one thread. The module
// folder is loaded once in the master process when the configuration is
// read, so every worker inherits the same settings and the same open event
// log (one open file description appended to with O_APPEND, one write per
// line: lines from several workers never tear). A reload with the same folder
// keeps what is loaded, as IIS keeps the DLL's settings until it restarts;
// restarting nginx reads the folder again.
//
// Nothing throws out of a handler: a failure lets the request go on (the
// filter fails open), as in the DLL.
extern "C" {
#include <ngx_config.h>
#include <ngx_core.h>
#include <ngx_http.h>
}

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "filter/canonical_path.h"
#include "filter/module.h"
#include "platform/appendfile.h"
#include "platform/text.h"

extern "C" {
extern ngx_module_t ngx_http_zelkwaf_module;
}

namespace {

using zelk::filter::BodySource;
using zelk::filter::FilterContext;
using zelk::filter::kNotifyAccessDenied;
using zelk::filter::kNotifyPreprocHeaders;
using zelk::filter::kNotifySendResponse;
using zelk::filter::kStatusReqFinished;
using zelk::filter::Module;
using zelk::filter::VariableResult;
using zelk::filter::Verdict;

struct MainConf {
  ngx_str_t module_dir;
};

struct LocConf {
  ngx_flag_t enable;
};

// The request's state between the access phase, the body read and the
// response filters. Lives in the request pool (trivially destructible).
struct RequestState {
  bool checked;    // the request notification has run
  bool body_read;  // nginx has read the body for the body notification
  bool answered;   // the filter answered the request itself
  bool replaced;   // the response is replaced by `replacement`
  bool replacement_sent;
  bool answer_waiting;  // the body notification refused: `answer` is to be sent
  ngx_uint_t answer_status;
  ngx_str_t answer;  // the filter's own page, waiting to be sent
  ngx_str_t replacement;
};

// The loaded module folder, shared by the master and (through fork) every
// worker. Replaced only when the configuration names another folder.
struct Loaded {
  std::string dir;
  std::unique_ptr<Module> module;
};
Loaded& LoadedModule() {
  static Loaded* loaded = new Loaded();  // never destroyed: workers exit with it in use
  return *loaded;
}

ngx_str_t PoolCopy(ngx_pool_t* pool, std::string_view s) {
  ngx_str_t out{0, nullptr};
  auto* data = static_cast<u_char*>(ngx_pnalloc(pool, s.size() + 1));
  if (data == nullptr) return out;
  ngx_memcpy(data, s.data(), s.size());
  data[s.size()] = '\0';
  out.len = s.size();
  out.data = data;
  return out;
}

RequestState* StateOf(ngx_http_request_t* r, bool create) {
  auto* st = static_cast<RequestState*>(ngx_http_get_module_ctx(r, ngx_http_zelkwaf_module));
  if (st == nullptr && create) {
    st = static_cast<RequestState*>(ngx_pcalloc(r->pool, sizeof(RequestState)));
    if (st != nullptr) ngx_http_set_ctx(r, st, ngx_http_zelkwaf_module);
  }
  return st;
}

// The first element of an nginx header list for which visit returns true;
// null when there is none.
template <typename Visit>
ngx_table_elt_t* FindInList(ngx_list_t* list, Visit visit) {
  for (ngx_list_part_t* part = &list->part; part != nullptr; part = part->next) {
    auto* h = static_cast<ngx_table_elt_t*>(part->elts);
    for (ngx_uint_t i = 0; i < part->nelts; ++i) {
      if (visit(h[i])) return &h[i];
    }
  }
  return nullptr;
}

// Whether header is the one the variable "HTTP_<NAME>" names: the name in
// upper case with '-' as '_' ("User-Agent" for HTTP_USER_AGENT).
bool HeaderNamed(const ngx_str_t& header, std::string_view variable_suffix) {
  if (header.len != variable_suffix.size()) return false;
  for (std::size_t i = 0; i < header.len; ++i) {
    char c = static_cast<char>(header.data[i]);
    c = c == '-' ? '_' : (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
    if (c != variable_suffix[i]) return false;
  }
  return true;
}

std::string_view View(const ngx_str_t& s) {
  return s.len == 0 ? std::string_view()
                    : std::string_view(reinterpret_cast<const char*>(s.data), s.len);
}

// A server variable of the request, as IIS gives it (the command-line host's
// DeriveServerVariables says the same for a raw request): the request line
// as the client sent it (URL is the canonical path of the unparsed URI,
// whatever nginx made of it), every header as HTTP_<NAME> with repeated
// headers merged. False when the request has no such variable. *value points
// into the request's own memory where it can, and into *storage where the
// value has to be built (a decoded path, merged headers, a number).
bool RequestVariable(ngx_http_request_t* r, std::string_view name, std::string* storage,
                     std::string_view* value) {
  const std::string_view target = View(r->unparsed_uri);
  if (name.substr(0, 5) == "HTTP_") {
    const std::string_view suffix = name.substr(5);
    if (suffix == "METHOD") {
      *value = View(r->method_name);
      return true;
    }
    if (suffix == "URL") {
      *value = target;
      return true;
    }
    // nginx keeps a pointer to the first of these headers as it reads them:
    // without one the request has none, and the list need not be walked.
    const auto& in = r->headers_in;
    if ((suffix == "HOST" && in.host == nullptr) || (suffix == "RANGE" && in.range == nullptr) ||
        (suffix == "USER_AGENT" && in.user_agent == nullptr) ||
        (suffix == "REFERER" && in.referer == nullptr) ||
        (suffix == "COOKIE" && in.cookies.nelts == 0)) {
      return false;
    }
    const char* separator = suffix == "COOKIE" ? "; " : ", ";  // as HTTP.sys merges them
    int found = 0;
    FindInList(&r->headers_in.headers, [&](const ngx_table_elt_t& h) {
      if (!HeaderNamed(h.key, suffix)) return false;
      if (found == 1) storage->assign(value->data(), value->size());
      if (found == 0) {
        *value = View(h.value);
      } else {
        *storage += separator;
        storage->append(reinterpret_cast<const char*>(h.value.data), h.value.len);
      }
      ++found;
      return false;
    });
    if (found > 1) *value = *storage;
    return found > 0;
  }
  if (name == "URL") {
    *value = zelk::filter::CanonicalUrlPath(target.substr(0, target.find('?')), storage);
  } else if (name == "QUERY_STRING") {
    const std::size_t q = target.find('?');
    *value = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
  } else if (name == "REMOTE_ADDR") {
    *value = View(r->connection->addr_text);
  } else if (name == "CONTENT_LENGTH") {
    if (r->headers_in.content_length_n < 0) return false;
    *storage = std::to_string(r->headers_in.content_length_n);
    *value = *storage;
  } else if (name == "CONTENT_TYPE") {
    return RequestVariable(r, "HTTP_CONTENT_TYPE", storage, value);
  } else {
    return false;
  }
  return true;
}

ngx_table_elt_t* FindResponseHeader(ngx_http_request_t* r, std::string_view name) {
  return FindInList(&r->headers_out.headers, [&](const ngx_table_elt_t& h) {
    const std::string_view key(reinterpret_cast<const char*>(h.key.data), h.key.len);
    return h.hash != 0 && zelk::EqualsIgnoreAsciiCase(key, name);
  });
}

// One notification's view of the request. The filter's own answers
// (SendResponseHeader, WriteClient) are collected and turned into nginx's
// response by the caller; response headers are edited in place.
class NginxContext final : public FilterContext {
 public:
  explicit NginxContext(ngx_http_request_t* r) : r_(r) {}
  NginxContext(const NginxContext&) = delete;
  NginxContext& operator=(const NginxContext&) = delete;

  VariableResult GetServerVariable(const char* name, char* buffer, std::uint32_t* size) override {
    std::string_view value;
    if (!RequestVariable(r_, name, &storage_, &value)) return VariableResult::kMissing;
    return zelk::filter::CopyServerVariable(value, buffer, size);
  }
  bool ReadVariable(std::string_view name, std::string* storage, std::string_view* value) override {
    return RequestVariable(r_, name, storage, value);
  }

  bool SendResponseHeader(const char* status, const char*) override {
    answer_status_ = static_cast<ngx_uint_t>(std::atoi(status));
    return true;
  }

  bool WriteClient(const void* bytes, std::uint32_t length) override {
    written_.append(static_cast<const char*>(bytes), length);
    return true;
  }

  bool SetHeader(const char* name, const char* value) override {
    std::string_view key(name);
    if (!key.empty() && key.back() == ':') key.remove_suffix(1);
    ngx_table_elt_t* h = FindResponseHeader(r_, key);
    if (value == nullptr) {
      if (h != nullptr) h->hash = 0;  // nginx skips headers whose hash is 0
      return true;
    }
    // The core's names and values are literals: the response points at them.
    if (h == nullptr) {
      h = static_cast<ngx_table_elt_t*>(ngx_list_push(&r_->headers_out.headers));
      if (h == nullptr) return false;
      h->key.len = key.size();
      h->key.data = reinterpret_cast<u_char*>(const_cast<char*>(key.data()));
      h->lowcase_key = nullptr;
    }
    h->hash = 1;
    h->value.len = std::strlen(value);
    h->value.data = reinterpret_cast<u_char*>(const_cast<char*>(value));
    // nginx writes its own Server header unless one is set here.
    if (zelk::EqualsIgnoreAsciiCase(key, "Server")) r_->headers_out.server = h;
    return true;
  }

  std::uint32_t HttpStatus() override { return static_cast<std::uint32_t>(r_->headers_out.status); }
  const char* PhysicalPath() override { return physical_path_.c_str(); }

  void set_physical_path(std::string path) { physical_path_ = std::move(path); }
  ngx_uint_t answer_status() const { return answer_status_; }
  const std::string& written() const { return written_; }

 private:
  ngx_http_request_t* r_;
  std::string storage_;  // the last variable GetServerVariable built (its buffer is reused)
  ngx_uint_t answer_status_ = 0;
  std::string written_;
  std::string physical_path_;
};

// The body nginx has read: memory buffers and, past client_body_buffer_size,
// the temporary file it spooled the body to.
class ChainBodySource final : public BodySource {
 public:
  explicit ChainBodySource(ngx_http_request_t* r)
      : log_(r->connection->log),
        link_(r->request_body != nullptr ? r->request_body->bufs : nullptr) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    while (link_ != nullptr) {
      ngx_buf_t* b = link_->buf;
      if (b->in_file) {
        const off_t left = b->file_last - b->file_pos - offset_;
        if (left > 0) {
          const std::size_t n = std::min(size, static_cast<std::size_t>(left));
          const ssize_t got =
              ngx_read_file(b->file, reinterpret_cast<u_char*>(buffer), n, b->file_pos + offset_);
          if (got <= 0) {
            ngx_log_error(NGX_LOG_ERR, log_, 0, "zelkwaf: reading the request body file failed");
            link_ = nullptr;
            return 0;
          }
          offset_ += got;
          return static_cast<std::size_t>(got);
        }
      } else if (b->pos != nullptr) {
        const off_t left = (b->last - b->pos) - offset_;
        if (left > 0) {
          const std::size_t n = std::min(size, static_cast<std::size_t>(left));
          ngx_memcpy(buffer, b->pos + offset_, n);
          offset_ += static_cast<off_t>(n);
          return n;
        }
      }
      link_ = link_->next;
      offset_ = 0;
    }
    return 0;
  }

 private:
  ngx_log_t* log_;
  ngx_chain_t* link_;
  off_t offset_ = 0;
};

Module* ActiveModule(ngx_http_request_t* r) {
  auto* lcf = static_cast<LocConf*>(ngx_http_get_module_loc_conf(r, ngx_http_zelkwaf_module));
  if (lcf == nullptr || lcf->enable != 1) return nullptr;
  return LoadedModule().module.get();
}

// Sends the filter's own page (the block page, status 200, no Content-Type,
// as the DLL sends it) and ends the request.
ngx_int_t SendAnswer(ngx_http_request_t* r, RequestState* st) {
  st->answered = true;
  if (r->request_body == nullptr && ngx_http_discard_request_body(r) != NGX_OK) {
    r->keepalive = 0;
  }
  r->headers_out.status = st->answer_status;
  r->headers_out.content_length_n = static_cast<off_t>(st->answer.len);
  ngx_int_t rc = ngx_http_send_header(r);
  if (rc == NGX_ERROR || rc > NGX_OK || r->header_only) {
    ngx_http_finalize_request(r, rc);
    return NGX_DONE;
  }
  auto* b = static_cast<ngx_buf_t*>(ngx_calloc_buf(r->pool));
  auto* out = ngx_alloc_chain_link(r->pool);
  if (b == nullptr || out == nullptr) {
    ngx_http_finalize_request(r, NGX_ERROR);
    return NGX_DONE;
  }
  b->pos = st->answer.data;
  b->last = st->answer.data + st->answer.len;
  b->memory = st->answer.len != 0;
  b->last_buf = 1;
  b->last_in_chain = 1;
  out->buf = b;
  out->next = nullptr;
  rc = ngx_http_output_filter(r, out);
  ngx_http_finalize_request(r, rc);
  return NGX_DONE;
}

// Keeps the filter's answer from a notification; true when there is one.
bool KeepAnswer(ngx_http_request_t* r, RequestState* st, const Verdict& v,
                const NginxContext& ctx) {
  if (v.status != kStatusReqFinished) return false;
  st->answer_status = ctx.answer_status() != 0 ? ctx.answer_status() : NGX_HTTP_OK;
  st->answer = PoolCopy(r->pool, ctx.written());
  return true;
}

void RunBodyCheck(ngx_http_request_t* r, RequestState* st) {
  st->body_read = true;
  Module* module = ActiveModule(r);
  if (module == nullptr) return;
  try {
    NginxContext ctx(r);
    ChainBodySource body(r);
    const Verdict v = zelk::filter::RunBodyNotification(*module, ctx, body);
    if (KeepAnswer(r, st, v, ctx)) st->answer_waiting = true;  // the access handler sends it
  } catch (...) {
  }
}

// nginx has read the body (called from inside
// ngx_http_read_client_request_body when it was all there already).
void BodyRead(ngx_http_request_t* r) {
  RequestState* st = StateOf(r, false);
  if (st != nullptr) RunBodyCheck(r, st);
  r->write_event_handler = ngx_http_core_run_phases;
  ngx_http_core_run_phases(r);
}

ngx_int_t AccessHandler(ngx_http_request_t* r) {
  if (r != r->main || r->internal) return NGX_DECLINED;
  Module* module = ActiveModule(r);
  if (module == nullptr) return NGX_DECLINED;
  RequestState* st = StateOf(r, true);
  if (st == nullptr) return NGX_DECLINED;
  if (st->checked) {
    // Back here after the body was read.
    if (st->answer_waiting && !st->answered) return SendAnswer(r, st);
    return st->body_read ? NGX_DECLINED : NGX_DONE;
  }
  st->checked = true;
  try {
    NginxContext ctx(r);
    const Verdict v = zelk::filter::RunNotification(*module, ctx, kNotifyPreprocHeaders);
    if (KeepAnswer(r, st, v, ctx)) return SendAnswer(r, st);
  } catch (...) {
    return NGX_DECLINED;
  }
  const bool has_body = r->headers_in.content_length_n > 0 || r->headers_in.chunked;
  if (!has_body) return NGX_DECLINED;
  const ngx_int_t rc = ngx_http_read_client_request_body(r, BodyRead);
  if (rc >= NGX_HTTP_SPECIAL_RESPONSE) return rc;
  ngx_http_finalize_request(r, NGX_DONE);
  return NGX_DONE;
}

ngx_http_output_header_filter_pt next_header_filter;
ngx_http_output_body_filter_pt next_body_filter;

// The replacement as the core wrote it: "HTTP/1.1 404 Not Found" CR LF,
// Content-Length, Content-Type, an empty line, the page. It becomes the
// response's status, type and body; every other header of the original
// response goes, and so do nginx's own Server and Date lines: the client
// receives what the DLL sends.
void ApplyReplacement(ngx_http_request_t* r, RequestState* st, const std::string& raw) {
  const std::size_t head_end = raw.find("\r\n\r\n");
  const std::string head = raw.substr(0, head_end);
  const std::string page = head_end == std::string::npos ? std::string() : raw.substr(head_end + 4);
  const std::size_t sp = head.find(' ');
  const ngx_uint_t status =
      sp == std::string::npos ? NGX_HTTP_OK : static_cast<ngx_uint_t>(std::atoi(&head[sp + 1]));

  FindInList(&r->headers_out.headers, [](ngx_table_elt_t& h) {
    h.hash = 0;
    return false;
  });
  auto* hidden = static_cast<ngx_table_elt_t*>(ngx_list_push(&r->headers_out.headers));
  if (hidden != nullptr) {
    ngx_memzero(hidden, sizeof(ngx_table_elt_t));  // hash 0: set, so not written
  }
  auto& out = r->headers_out;
  out.server = hidden;
  out.date = hidden;
  out.content_length = nullptr;
  out.content_encoding = nullptr;
  out.location = nullptr;
  out.refresh = nullptr;
  out.last_modified = nullptr;
  out.content_range = nullptr;
  out.accept_ranges = nullptr;
  out.www_authenticate = nullptr;
  out.expires = nullptr;
  out.etag = nullptr;
  out.last_modified_time = -1;
  out.status = status;
  out.status_line.len = 0;
  out.status_line.data = nullptr;
  ngx_str_set(&out.content_type, "text/html");
  out.content_type_len = out.content_type.len;
  out.content_type_lowcase = nullptr;
  out.charset.len = 0;
  out.content_length_n = static_cast<off_t>(page.size());
  r->allow_ranges = 0;
  st->replaced = true;
  st->replacement = PoolCopy(r->pool, page);
}

ngx_int_t HeaderFilter(ngx_http_request_t* r) {
  Module* module = r == r->main ? ActiveModule(r) : nullptr;
  if (module == nullptr) return next_header_filter(r);
  RequestState* st = StateOf(r, true);
  if (st == nullptr) return next_header_filter(r);
  try {
    NginxContext ctx(r);
    if (r->headers_out.status == NGX_HTTP_UNAUTHORIZED) {
      // The file nginx would have served, as IIS names the physical path.
      ngx_str_t path;
      size_t root = 0;
      if (ngx_http_map_uri_to_path(r, &path, &root, 0) != nullptr) {
        ctx.set_physical_path(std::string(reinterpret_cast<const char*>(path.data)));
      }
      zelk::filter::RunNotification(*module, ctx, kNotifyAccessDenied);
    }
    const Verdict v = zelk::filter::RunNotification(*module, ctx, kNotifySendResponse);
    if (v.status == kStatusReqFinished) ApplyReplacement(r, st, ctx.written());
  } catch (...) {
  }
  return next_header_filter(r);
}

ngx_int_t BodyFilter(ngx_http_request_t* r, ngx_chain_t* in) {
  RequestState* st = r == r->main ? StateOf(r, false) : nullptr;
  if (st == nullptr || !st->replaced) return next_body_filter(r, in);
  // The original body is consumed unsent; the page goes out once, in its
  // place, as the last buffer.
  for (ngx_chain_t* cl = in; cl != nullptr; cl = cl->next) {
    cl->buf->pos = cl->buf->last;
    if (cl->buf->in_file) cl->buf->file_pos = cl->buf->file_last;
  }
  if (st->replacement_sent || in == nullptr) return NGX_OK;
  st->replacement_sent = true;
  auto* b = static_cast<ngx_buf_t*>(ngx_calloc_buf(r->pool));
  auto* out = ngx_alloc_chain_link(r->pool);
  if (b == nullptr || out == nullptr) return NGX_ERROR;
  b->pos = st->replacement.data;
  b->last = st->replacement.data + st->replacement.len;
  b->memory = st->replacement.len != 0;
  b->last_buf = 1;
  b->last_in_chain = 1;
  out->buf = b;
  out->next = nullptr;
  return next_body_filter(r, out);
}

void* CreateMainConf(ngx_conf_t* cf) {
  return ngx_pcalloc(cf->pool, sizeof(MainConf));  // module_dir empty: no folder
}

void* CreateLocConf(ngx_conf_t* cf) {
  auto* conf = static_cast<LocConf*>(ngx_pcalloc(cf->pool, sizeof(LocConf)));
  if (conf != nullptr) conf->enable = NGX_CONF_UNSET;
  return conf;
}

char* MergeLocConf(ngx_conf_t*, void* parent, void* child) {
  auto* prev = static_cast<LocConf*>(parent);
  auto* conf = static_cast<LocConf*>(child);
  ngx_conf_merge_value(conf->enable, prev->enable, 0);
  return NGX_CONF_OK;
}

// Loads the folder named by zelkwaf_module_dir (in the master, before the
// workers are forked; without the directive, the built-in defaults), installs
// the access handler and the filters.
ngx_int_t PostConfiguration(ngx_conf_t* cf) {
  auto* mcf =
      static_cast<MainConf*>(ngx_http_conf_get_module_main_conf(cf, ngx_http_zelkwaf_module));
  if (mcf->module_dir.len == 0) {
    // No folder named: the built-in settings and patterns, no white list and
    // no event log, as the DLL runs when it cannot find its own folder.
    Loaded& loaded = LoadedModule();
    if (loaded.module == nullptr || !loaded.dir.empty()) {
      try {
        if (loaded.module != nullptr) zelk::filter::UnloadModule(std::move(loaded.module));
        loaded.module = zelk::filter::LoadDefaultModule();
        loaded.dir.clear();
      } catch (...) {
        return NGX_ERROR;
      }
    }
  } else {
    std::string dir(View(mcf->module_dir));
    if (dir.back() != '/') dir += '/';
    Loaded& loaded = LoadedModule();
    if (loaded.module == nullptr || loaded.dir != dir) {
      try {
        if (loaded.module != nullptr) zelk::filter::UnloadModule(std::move(loaded.module));
        // A worker runs one request's handlers at a time, on one thread.
        zelk::filter::ModuleOptions options;
        options.serialize_notifications = false;
        loaded.module = zelk::filter::LoadModule(dir, options);
        loaded.dir = dir;
      } catch (...) {
        ngx_conf_log_error(NGX_LOG_EMERG, cf, 0, "zelkwaf: cannot load the module folder \"%V\"",
                           &mcf->module_dir);
        return NGX_ERROR;
      }
      struct stat st;
      if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        ngx_conf_log_error(NGX_LOG_WARN, cf, 0,
                           "zelkwaf: no module folder \"%V\": built-in settings, no event log",
                           &mcf->module_dir);
      } else if (!loaded.module->log.is_open() &&
                 zelk::platform::FileExists(dir + "ZelkWAFLog.txt")) {
        ngx_conf_log_error(NGX_LOG_WARN, cf, 0,
                           "zelkwaf: the event log in \"%V\" could not be opened for appending",
                           &mcf->module_dir);
      }
    }
  }

  auto* cmcf = static_cast<ngx_http_core_main_conf_t*>(
      ngx_http_conf_get_module_main_conf(cf, ngx_http_core_module));
  auto* h = static_cast<ngx_http_handler_pt*>(
      ngx_array_push(&cmcf->phases[NGX_HTTP_ACCESS_PHASE].handlers));
  if (h == nullptr) return NGX_ERROR;
  *h = AccessHandler;

  next_header_filter = ngx_http_top_header_filter;
  ngx_http_top_header_filter = HeaderFilter;
  next_body_filter = ngx_http_top_body_filter;
  ngx_http_top_body_filter = BodyFilter;
  return NGX_OK;
}

ngx_command_t kCommands[] = {
    {ngx_string("zelkwaf_module_dir"), NGX_HTTP_MAIN_CONF | NGX_CONF_TAKE1, ngx_conf_set_str_slot,
     NGX_HTTP_MAIN_CONF_OFFSET, offsetof(MainConf, module_dir), nullptr},
    {ngx_string("zelkwaf"),
     NGX_HTTP_MAIN_CONF | NGX_HTTP_SRV_CONF | NGX_HTTP_LOC_CONF | NGX_CONF_FLAG,
     ngx_conf_set_flag_slot, NGX_HTTP_LOC_CONF_OFFSET, offsetof(LocConf, enable), nullptr},
    ngx_null_command};

ngx_http_module_t kModuleContext = {
    nullptr,            // preconfiguration
    PostConfiguration,  // postconfiguration
    CreateMainConf,     // create main configuration
    nullptr,            // init main configuration
    nullptr,            // create server configuration
    nullptr,            // merge server configuration
    CreateLocConf,      // create location configuration
    MergeLocConf,       // merge location configuration
};

}  // namespace

// What nginx's load_module looks for in the shared object. The order puts the
// module before the copy filter, where nginx's build puts every HTTP filter
// module it builds as a dynamic module.
extern "C" {
__attribute__((visibility("default")))
ngx_module_t ngx_http_zelkwaf_module = {NGX_MODULE_V1,
                                        &kModuleContext,  // module context
                                        kCommands,        // module directives
                                        NGX_HTTP_MODULE,  // module type
                                        nullptr,          // init master
                                        nullptr,          // init module
                                        nullptr,          // init process
                                        nullptr,          // init thread
                                        nullptr,          // exit thread
                                        nullptr,          // exit process
                                        nullptr,          // exit master
                                        NGX_MODULE_V1_PADDING};

__attribute__((visibility("default")))
ngx_module_t* ngx_modules[] = {&ngx_http_zelkwaf_module, nullptr};
__attribute__((visibility("default"))) char* ngx_module_names[] = {
    const_cast<char*>("ngx_http_zelkwaf_module"), nullptr};
__attribute__((visibility("default"))) char* ngx_module_order[] = {
    const_cast<char*>("ngx_http_zelkwaf_module"), const_cast<char*>("ngx_http_copy_filter_module"),
    nullptr};
}
