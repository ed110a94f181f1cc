# One static library per folder of src/, each linked only to the layers
# below it. The include rule is checked by the compiler, not only by the
# linker: every library compiles against an include root of its own
# (build/layers/<folder>/) that holds links to its own folder and to the
# folders below it and nothing else, so `#include "app/..."` from
# findings/ is a missing file, whatever the link order would let through.
#
#   tallowmend_layer(<folder> [DEPENDS <lower folder>...])
#
# Layers are declared bottom-up; a layer sees its DEPENDS and everything
# they see. TALLOWMEND_LAYERS lists them in declaration order.
set(TALLOWMEND_LAYER_ROOTS ${PROJECT_BINARY_DIR}/layers)
set(TALLOWMEND_LAYERS "")

function(tallowmend_layer folder)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DEPENDS")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${folder}/*.cpp)
  # Each build drops the other build's half of every seam.
  list(FILTER sources EXCLUDE REGEX "${TALLOWMEND_PLATFORM_EXCLUDE}")
  list(FILTER sources EXCLUDE REGEX "/src/app/entry/")

  set(visible ${folder})
  foreach(dep IN LISTS arg_DEPENDS)
    get_property(dep_visible GLOBAL PROPERTY TALLOWMEND_LAYER_VISIBLE_${dep})
    if(NOT dep_visible)
      message(FATAL_ERROR "layer ${folder}: ${dep} is not declared below it")
    endif()
    list(APPEND visible ${dep_visible})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY TALLOWMEND_LAYER_VISIBLE_${folder} ${visible})

  # The root is rebuilt on every configure so a dependency taken away is
  # gone from it too; only the links are removed, never what they point to.
  set(root ${TALLOWMEND_LAYER_ROOTS}/${folder})
  file(MAKE_DIRECTORY ${root})
  file(GLOB old LIST_DIRECTORIES true ${root}/*)
  foreach(entry IN LISTS old)
    if(IS_SYMLINK ${entry})
      file(REMOVE ${entry})
    endif()
  endforeach()
  foreach(name IN LISTS visible)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${root}/${name} SYMBOLIC)
  endforeach()

  add_library(tallowmend_${folder} STATIC ${sources})
  target_include_directories(tallowmend_${folder} PRIVATE ${root})
  foreach(dep IN LISTS arg_DEPENDS)
    target_link_libraries(tallowmend_${folder} PUBLIC tallowmend_${dep})
  endforeach()
  set(TALLOWMEND_LAYERS ${TALLOWMEND_LAYERS} ${folder} PARENT_SCOPE)
endfunction()
