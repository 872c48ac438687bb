# Windows cross builds (toolchain-*-w64-mingw32.cmake): PCRE from the cache
# folder, built there by scripts/build-pcre-mingw.sh when missing, and Wine as
# the runner of the x86_64 test programs.
if(NOT ZELK_MINGW_TRIPLE)
  message(FATAL_ERROR "Windows builds use cmake/toolchain-<arch>-w64-mingw32.cmake")
endif()

set(ZELK_PCRE_ROOT "${PROJECT_SOURCE_DIR}/.cache/pcre-${ZELK_MINGW_TRIPLE}" CACHE PATH
    "Prefix of a PCRE 8.x installation (include/, lib/)")
if(NOT EXISTS "${ZELK_PCRE_ROOT}/lib/libpcre.a")
  message(STATUS "Building PCRE for ${ZELK_MINGW_TRIPLE} into ${ZELK_PCRE_ROOT}")
  execute_process(
    COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/build-pcre-mingw.sh" ${ZELK_MINGW_TRIPLE} "${ZELK_PCRE_ROOT}"
    RESULT_VARIABLE pcre_result)
  if(NOT pcre_result EQUAL 0)
    message(FATAL_ERROR "scripts/build-pcre-mingw.sh failed (${pcre_result})")
  endif()
endif()
# The cache folder lies outside the compiler's root; searches may look there.
list(APPEND CMAKE_FIND_ROOT_PATH "${ZELK_PCRE_ROOT}")

# i686 programs cannot run on this machine; they are built and checked only.
if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${PROJECT_SOURCE_DIR}/scripts/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
endif()
