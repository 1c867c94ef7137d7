# The resources every program of ours carries on Windows: the version resource (company,
# product, version, what the program is) and the manifest.
#
#   qor_windows_resources(TARGET DESCRIPTION "text")

set(QOR_MAKER_NAME "zentrova GmbH")

function(qor_windows_resources target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  set(QOR_RC_NAME ${target})
  set(QOR_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  set(QOR_RC_COMPANY "${QOR_MAKER_NAME}")
  # Windows counts four parts; the program's version has two or three.
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} 0 0)
  if(NOT "${PROJECT_VERSION_PATCH}" STREQUAL "")
    list(REMOVE_AT parts 2)
    list(INSERT parts 2 ${PROJECT_VERSION_PATCH})
  endif()
  list(JOIN parts "," QOR_RC_VERSION_COMMAS)
  list(SUBLIST parts 0 3 shown)
  list(JOIN shown "." QOR_RC_VERSION)
  set(QOR_RC_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${QOR_RC_MANIFEST})
  target_sources(${target} PRIVATE ${rc})
endfunction()
