# The resources every program of ours carries on Windows: the version resource (company,
# product, version, what the program is) and the manifest.
#
#   qor_windows_resources(TARGET DESCRIPTION "text")

set(QOR_MAKER_NAME "zentrova GmbH")

# The fourth part of the file versions counts the commits: a later build of the same version
# carries newer files, which the installer's small update replaces (Windows Installer compares
# file versions, not dates). 0 outside a git checkout, or as -DQOR_BUILD_NUMBER=N gives it.
if(NOT DEFINED QOR_BUILD_NUMBER)
  execute_process(COMMAND git -C ${PROJECT_SOURCE_DIR} rev-list --count HEAD
                  OUTPUT_VARIABLE QOR_BUILD_NUMBER OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT QOR_BUILD_NUMBER MATCHES "^[0-9]+$" OR QOR_BUILD_NUMBER GREATER 65535)
    set(QOR_BUILD_NUMBER 0)
  endif()
endif()

function(qor_windows_resources target)
  cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
  set(QOR_RC_NAME ${target})
  set(QOR_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  set(QOR_RC_COMPANY "${QOR_MAKER_NAME}")
  # Windows counts four parts: the program's version in three, then the build.
  set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} 0)
  if(NOT "${PROJECT_VERSION_PATCH}" STREQUAL "")
    set(parts ${PROJECT_VERSION_MAJOR} ${PROJECT_VERSION_MINOR} ${PROJECT_VERSION_PATCH})
  endif()
  list(JOIN parts "." QOR_RC_VERSION)
  list(APPEND parts ${QOR_BUILD_NUMBER})
  list(JOIN parts "." QOR_RC_FILE_VERSION)
  list(JOIN parts "," QOR_RC_VERSION_COMMAS)
  set(QOR_RC_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/program.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${QOR_RC_MANIFEST})
  target_sources(${target} PRIVATE ${rc})
endfunction()
