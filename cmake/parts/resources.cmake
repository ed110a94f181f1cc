# Program resources generated at build time (no binary blobs in the tree).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/generated)

set(TALLOWMEND_ICON ${PROJECT_BINARY_DIR}/generated/tallowmend.ico)
add_custom_command(OUTPUT ${TALLOWMEND_ICON}
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/gen/make_icon.py ${TALLOWMEND_ICON}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/gen/make_icon.py
  COMMENT "Drawing the program icon")
add_custom_target(tallowmend_icon DEPENDS ${TALLOWMEND_ICON})
