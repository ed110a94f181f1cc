# The wizard window: the support address its links open (a build-time
# setting) and, in the Windows build, the banner picture drawn at build time.
set(TALLOWMEND_SUPPORT_URL "http://www.example.com/support/" CACHE STRING
    "Address of the support web page the wizard's links show and open")
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/app/MainFormUnit.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "TALLOWMEND_SUPPORT_URL=\"${TALLOWMEND_SUPPORT_URL}\"")
