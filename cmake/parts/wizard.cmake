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

# The banner: drawn by a generator, embedded as a bitmap resource.
if(WIN32)
  set(TM_BANNER_BMP ${PROJECT_BINARY_DIR}/generated/wizard/banner.bmp)
  set(TM_BANNER_RC ${PROJECT_BINARY_DIR}/generated/wizard/banner.rc)
  add_custom_command(OUTPUT ${TM_BANNER_BMP} ${TM_BANNER_RC}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/gen/make_banner.py ${TM_BANNER_BMP} ${TM_BANNER_RC}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/gen/make_banner.py
    COMMENT "Drawing the wizard banner")
  add_library(tallowmend_banner OBJECT ${TM_BANNER_RC})
  set_source_files_properties(${TM_BANNER_RC} PROPERTIES OBJECT_DEPENDS ${TM_BANNER_BMP})
  list(APPEND TALLOWMEND_EXE_SOURCES $<TARGET_OBJECTS:tallowmend_banner>)
endif()
