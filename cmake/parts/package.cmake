# "package": the downloads of the 32-bit build (setup program, portable zip,
# their SHA-256 sums) in build/win32/packages, signed when
# TALLOWMEND_SIGN_CERT and TALLOWMEND_SIGN_KEY are set (packaging/sign.sh).
if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  return()
endif()
set(TALLOWMEND_PACKAGES_DIR ${PROJECT_BINARY_DIR}/packages)
add_custom_target(package
  COMMAND ${CMAKE_COMMAND} -E env TALLOWMEND_PCRE2_SOURCE=${TALLOWMEND_PCRE2_SOURCE}
          TALLOWMEND_SUPPORT_URL=${TALLOWMEND_SUPPORT_URL}
          bash ${PROJECT_SOURCE_DIR}/packaging/make-packages.sh ${PROJECT_VERSION} ${PROJECT_BINARY_DIR}
          ${TALLOWMEND_PACKAGES_DIR}
  COMMENT "Packaging Tallowmend ${PROJECT_VERSION}"
  VERBATIM)
add_dependencies(package tallowmend)
