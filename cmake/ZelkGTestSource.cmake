# GoogleTest for the cross builds, compiled from Debian's source package
# (/usr/src/googletest): there is no mingw-w64 build of it to find. Provides the
# same GTest::gtest and GTest::gtest_main targets as find_package(GTest).
set(ZELK_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(NOT EXISTS "${ZELK_GTEST_SOURCE}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest source not found in ${ZELK_GTEST_SOURCE} (Debian package googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory("${ZELK_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
