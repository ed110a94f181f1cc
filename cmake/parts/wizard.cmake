# The wizard window: the support address its links open (a build-time
# setting) and, in the Windows build, the banner picture drawn at build time.
set(TALLOWMEND_SUPPORT_URL "http://www.example.com/support/" CACHE STRING
    "Address of the support web page the wizard's links show and open")
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/app/MainFormUnit.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "TALLOWMEND_SUPPORT_URL=\"${TALLOWMEND_SUPPORT_URL}\"")
# Where the native command finds the example machine when given none.
file(WRITE ${PROJECT_BINARY_DIR}/generated/wizard/ExamplesDir.h.in
  "#pragma once\n#define TALLOWMEND_EXAMPLES_DIR \"@PROJECT_SOURCE_DIR@/examples\"\n")
configure_file(${PROJECT_BINARY_DIR}/generated/wizard/ExamplesDir.h.in
  ${PROJECT_BINARY_DIR}/generated/wizard/ExamplesDir.h @ONLY)
