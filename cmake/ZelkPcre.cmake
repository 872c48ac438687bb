# Provides the imported target zelk_pcre: PCRE 8.x, 8-bit library.
# Native builds use the system's libpcre3-dev; cross builds point ZELK_PCRE_ROOT
# at the static library that scripts/build-pcre-mingw.sh installs.
set(ZELK_PCRE_ROOT "" CACHE PATH "Prefix of a PCRE 8.x installation (include/, lib/)")

if(ZELK_PCRE_ROOT)
  find_path(ZELK_PCRE_INCLUDE pcre.h PATHS "${ZELK_PCRE_ROOT}/include" NO_DEFAULT_PATH REQUIRED)
  find_library(ZELK_PCRE_LIBRARY NAMES libpcre.a pcre PATHS "${ZELK_PCRE_ROOT}/lib"
               NO_DEFAULT_PATH REQUIRED)
else()
  find_path(ZELK_PCRE_INCLUDE pcre.h REQUIRED)
  find_library(ZELK_PCRE_LIBRARY NAMES pcre REQUIRED)
endif()

add_library(zelk_pcre UNKNOWN IMPORTED)
set_target_properties(zelk_pcre PROPERTIES
  IMPORTED_LOCATION "${ZELK_PCRE_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${ZELK_PCRE_INCLUDE}")
if(WIN32)
  set_property(TARGET zelk_pcre PROPERTY INTERFACE_COMPILE_DEFINITIONS PCRE_STATIC)
endif()
