# Finds Debian's nginx-dev (the nginx sources' headers under
# /usr/share/nginx/src) and prepares them for building a dynamic module.
#
# A dynamic module must be compiled with the configure-time definitions of the
# nginx binary that loads it: they decide the layout of nginx's structures and
# the module signature nginx checks at load_module. nginx-dev ships the
# headers and, in conf_flags, the configure arguments of Debian's binary, but
# no generated objs/ folder; so the sources are copied into the build folder
# once and configured there with those arguments, which writes
# objs/ngx_auto_config.h and objs/ngx_auto_headers.h.
#
# Sets ZELK_NGINX_FOUND and ZELK_NGINX_INCLUDE_DIRS.
set(ZELK_NGINX_SOURCE "/usr/share/nginx/src" CACHE PATH "nginx-dev's copy of the nginx sources")
set(ZELK_NGINX_FOUND OFF)
if(NOT EXISTS "${ZELK_NGINX_SOURCE}/conf_flags" OR NOT EXISTS "${ZELK_NGINX_SOURCE}/configure")
  message(STATUS "nginx-dev not found (${ZELK_NGINX_SOURCE}): the nginx module is not built")
  return()
endif()

set(_ngx_dir "${CMAKE_BINARY_DIR}/nginx-dev")
set(_ngx_stamp "${_ngx_dir}/objs/ngx_auto_config.h")
file(READ "${ZELK_NGINX_SOURCE}/conf_flags" _ngx_flags)
# Configure again when Debian's package changes its arguments.
if(EXISTS "${_ngx_stamp}" AND EXISTS "${_ngx_dir}/conf_flags")
  file(READ "${_ngx_dir}/conf_flags" _ngx_old_flags)
  if(NOT _ngx_old_flags STREQUAL _ngx_flags)
    file(REMOVE "${_ngx_stamp}")
  endif()
endif()
if(NOT EXISTS "${_ngx_stamp}")
  message(STATUS "Configuring nginx-dev's sources for the module (once per build folder)")
  file(REMOVE_RECURSE "${_ngx_dir}")
  file(COPY "${ZELK_NGINX_SOURCE}/" DESTINATION "${_ngx_dir}")
  execute_process(
    COMMAND bash -c "source ./conf_flags && ./configure \"\${NGX_CONF_FLAGS[@]}\""
    WORKING_DIRECTORY "${_ngx_dir}"
    RESULT_VARIABLE _ngx_result
    OUTPUT_FILE "${_ngx_dir}/configure.log"
    ERROR_FILE "${_ngx_dir}/configure.log")
  if(NOT _ngx_result EQUAL 0 OR NOT EXISTS "${_ngx_stamp}")
    message(FATAL_ERROR "nginx's configure failed for the module build; see ${_ngx_dir}/configure.log")
  endif()
endif()

set(ZELK_NGINX_FOUND ON)
set(ZELK_NGINX_INCLUDE_DIRS
  "${_ngx_dir}/objs"
  "${_ngx_dir}/src/core"
  "${_ngx_dir}/src/event"
  "${_ngx_dir}/src/event/modules"
  "${_ngx_dir}/src/os/unix"
  "${_ngx_dir}/src/http"
  "${_ngx_dir}/src/http/modules"
  "${_ngx_dir}/src/http/v2")
