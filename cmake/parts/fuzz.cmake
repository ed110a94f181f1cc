# libFuzzer targets: native clang builds configured with -DTALLOWMEND_FUZZ=ON
# (scripts/fuzz.sh does that). A reader of untrusted bytes adds its target
# with one line in tools/fuzz/CMakeLists.txt:
#   tallowmend_add_fuzzer(fuzz_<name> fuzz_<name>.cpp)
# Optional tools/fuzz/fuzz_<name>.seeds (seed folders, one per line, relative
# to the source tree) and fuzz_<name>.dict are picked up by scripts/fuzz.sh.
if(NOT TALLOWMEND_FUZZ)
  function(tallowmend_add_fuzzer name source)
  endfunction()
  return()
endif()

if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TALLOWMEND_FUZZ needs the native build with clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()
if(NOT TALLOWMEND_SANITIZE MATCHES "address")
  message(FATAL_ERROR "TALLOWMEND_FUZZ needs -DTALLOWMEND_SANITIZE=address,undefined so the code under test is checked too")
endif()

# Coverage feedback has to reach into the code under test, not just the
# harness; the sanitizers themselves come from TALLOWMEND_SANITIZE.
foreach(layer IN LISTS TALLOWMEND_LAYERS)
  target_compile_options(tallowmend_${layer} PRIVATE -fsanitize=fuzzer-no-link)
endforeach()

# Building "fuzzers" builds every target; fuzzers.txt lists them for the script.
add_custom_target(fuzzers)
set(TALLOWMEND_FUZZ_BIN ${PROJECT_BINARY_DIR}/fuzz-bin)
file(WRITE ${PROJECT_BINARY_DIR}/fuzzers.txt "")

function(tallowmend_add_fuzzer name source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE tallowmend_core)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TALLOWMEND_FUZZ_BIN})
  add_dependencies(fuzzers ${name})
  file(APPEND ${PROJECT_BINARY_DIR}/fuzzers.txt "${name}\n")
endfunction()
