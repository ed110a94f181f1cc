# Third-party libraries for both builds.
find_package(Threads REQUIRED)

# PCRE2, 8-bit. Natively Debian's library; for mingw Debian's source package,
# fetched by scripts/setup.sh, built as a static library with JIT.
add_library(tallowmend_pcre2 INTERFACE)
target_compile_definitions(tallowmend_pcre2 INTERFACE PCRE2_CODE_UNIT_WIDTH=8)
if(WIN32)
  set(TALLOWMEND_PCRE2_SOURCE ${PROJECT_SOURCE_DIR}/third_party/pcre2 CACHE PATH "PCRE2 source tree")
  if(NOT EXISTS ${TALLOWMEND_PCRE2_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "PCRE2 source missing at ${TALLOWMEND_PCRE2_SOURCE}: run scripts/setup.sh")
  endif()
  set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
  set(BUILD_STATIC_LIBS ON CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2_8 ON CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2_16 OFF CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2_32 OFF CACHE BOOL "" FORCE)
  set(PCRE2_SUPPORT_UNICODE ON CACHE BOOL "" FORCE)
  set(PCRE2_SUPPORT_JIT ON CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2GREP OFF CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_TESTS OFF CACHE BOOL "" FORCE)
  set(PCRE2_SHOW_REPORT OFF CACHE BOOL "" FORCE)
  # Third-party code is not held to our warning flags.
  set(_tm_saved_options "${CMAKE_C_FLAGS}")
  add_subdirectory(${TALLOWMEND_PCRE2_SOURCE} ${PROJECT_BINARY_DIR}/pcre2 EXCLUDE_FROM_ALL SYSTEM)
  target_compile_options(pcre2-8-static PRIVATE -Wno-error -w)
  target_link_libraries(tallowmend_pcre2 INTERFACE pcre2-8-static)
  target_compile_definitions(tallowmend_pcre2 INTERFACE PCRE2_STATIC)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
  target_link_libraries(tallowmend_pcre2 INTERFACE PkgConfig::PCRE2)
endif()

# GoogleTest: Debian's package natively, built from its source for mingw.
if(WIN32)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# nlohmann/json, header-only, from Debian's nlohmann-json3-dev: the
# unattended mode's report. Only a copy of its own folder goes on the include
# path, so the mingw build never sees the host's /usr/include.
find_path(TALLOWMEND_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TALLOWMEND_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp missing: run scripts/setup.sh (nlohmann-json3-dev)")
endif()
file(COPY ${TALLOWMEND_JSON_INCLUDE}/nlohmann DESTINATION ${PROJECT_BINARY_DIR}/third_party/json)
add_library(tallowmend_json INTERFACE)
target_include_directories(tallowmend_json SYSTEM INTERFACE ${PROJECT_BINARY_DIR}/third_party/json)
