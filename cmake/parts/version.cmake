# One version number, the project's, for everything that shows one: the
# version resource and manifest, the log's start-up line, the packages.
configure_file(${PROJECT_SOURCE_DIR}/resources/TallowmendVersion.h.in
  ${PROJECT_BINARY_DIR}/generated/TallowmendVersion.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/tallowmend.manifest.in
  ${PROJECT_BINARY_DIR}/generated/tallowmend.manifest @ONLY)
