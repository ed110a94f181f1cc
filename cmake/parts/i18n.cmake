# Localisation blobs generated at build time from readable sources:
# - the built-in constants table (version-3 stream), embedded as RT_RCDATA
#   "LANG_CONSTS" by windres in the Windows build and handed to the emulated
#   machine's resource table natively;
# - the main form's LangData, compiled into the i18n library.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(TM_I18N_GEN ${PROJECT_SOURCE_DIR}/tools/gen/i18n_gen.py)
set(TM_I18N_OUT ${PROJECT_BINARY_DIR}/generated/i18n)
file(MAKE_DIRECTORY ${TM_I18N_OUT})

set(TM_LANG_CONSTS_TXT ${PROJECT_SOURCE_DIR}/resources/lang_consts.txt)
set(TM_LANG_CONSTS_BIN ${TM_I18N_OUT}/lang_consts.bin)
if(WIN32)
  set(TM_LANG_CONSTS_CARRIER ${TM_I18N_OUT}/lang_consts.rc)
  set(TM_LANG_CONSTS_ARGS --rc ${TM_LANG_CONSTS_CARRIER})
else()
  set(TM_LANG_CONSTS_CARRIER ${TM_I18N_OUT}/LangConstsResource.cpp)
  set(TM_LANG_CONSTS_ARGS --cpp ${TM_LANG_CONSTS_CARRIER})
endif()
add_custom_command(OUTPUT ${TM_LANG_CONSTS_BIN} ${TM_LANG_CONSTS_CARRIER}
  COMMAND Python3::Interpreter ${TM_I18N_GEN} consts --input ${TM_LANG_CONSTS_TXT}
          --bin ${TM_LANG_CONSTS_BIN} ${TM_LANG_CONSTS_ARGS}
  DEPENDS ${TM_I18N_GEN} ${TM_LANG_CONSTS_TXT}
  COMMENT "Generating the built-in constants table")

# An object library in this directory owns the generation rule; every
# executable links its objects (a static-library member with nothing but a
# registration would be dropped by the linker).
add_library(tallowmend_lang_consts OBJECT ${TM_LANG_CONSTS_CARRIER})
if(WIN32)
  set_source_files_properties(${TM_LANG_CONSTS_CARRIER} PROPERTIES OBJECT_DEPENDS ${TM_LANG_CONSTS_BIN})
else()
  target_link_libraries(tallowmend_lang_consts PRIVATE tallowmend_core)
endif()
list(APPEND TALLOWMEND_EXE_SOURCES $<TARGET_OBJECTS:tallowmend_lang_consts>)

set(TM_FORM_LANGDATA_TXT ${PROJECT_SOURCE_DIR}/resources/form_langdata.txt)
set(TM_FORM_LANGDATA_CPP ${TM_I18N_OUT}/FormLangData.cpp)
add_custom_command(OUTPUT ${TM_FORM_LANGDATA_CPP}
  COMMAND Python3::Interpreter ${TM_I18N_GEN} langdata --input ${TM_FORM_LANGDATA_TXT} --cpp ${TM_FORM_LANGDATA_CPP}
  DEPENDS ${TM_I18N_GEN} ${TM_FORM_LANGDATA_TXT}
  COMMENT "Generating the main form's LangData")
target_sources(tallowmend_i18n PRIVATE ${TM_FORM_LANGDATA_CPP})
