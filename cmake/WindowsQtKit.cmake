# Qt for the Windows build: the kit packaging/windows/qt-kit.sh builds once per machine, found
# through its cache (or QOR_QT_KIT), with the host's moc, rcc and uic of the same version. The
# windows are built whenever the kit is there; without it the core and its tests are.
#
#   qor_deploy_qt(TARGET [TEST])
#
# puts a Qt program into the folder of the Windows deployment (bin/ of the build): the Qt and
# MinGW runtime DLLs beside it, the platform plugin in platforms/, the style in styles/. TEST
# adds what the test programs need (QtTest, the offscreen platform).

set(QOR_QT_KIT "" CACHE PATH "Qt 6 for MinGW-w64; empty: the cache of packaging/windows/qt-kit.sh")
set(qor_kit "${QOR_QT_KIT}")
if(NOT qor_kit)
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/packaging/windows/qt-kit.sh --path
                  OUTPUT_VARIABLE qor_kit OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
if(NOT EXISTS "${qor_kit}/lib/cmake/Qt6/Qt6Config.cmake")
  message(STATUS "No Qt kit for Windows at ${qor_kit}: building the core and its tests only "
                 "(packaging/windows/qt-kit.sh builds the kit)")
  set(QOR_BUILD_GUI OFF)
  return()
endif()
message(STATUS "Qt kit for Windows: ${qor_kit}")
set(QOR_QT_KIT_DIR "${qor_kit}" CACHE INTERNAL "")

list(PREPEND CMAKE_PREFIX_PATH "${qor_kit}/lib/cmake")
list(PREPEND CMAKE_FIND_ROOT_PATH "${qor_kit}")
set(QT_HOST_PATH /usr CACHE PATH "The host Qt, for moc, rcc and uic")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "The host Qt's CMake files")

# The MinGW runtime Qt was linked against; a Qt program uses the same one (see the top level).
set(QOR_MINGW_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know the MinGW runtime ${dll}")
  endif()
  get_filename_component(found "${found}" REALPATH)
  list(APPEND QOR_MINGW_RUNTIME_DLLS "${found}")
endforeach()

set(QOR_DEPLOY_DIR ${CMAKE_BINARY_DIR}/bin)
set(QOR_QT_DLLS Qt6Core Qt6Gui Qt6Widgets)
set(QOR_QT_PLUGINS platforms/qwindows styles/qwindowsvistastyle)

function(qor_deploy_qt target)
  cmake_parse_arguments(ARG "TEST" "" "" ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QOR_DEPLOY_DIR}
                                             QOR_QT_PROGRAM ON)
  set(dlls ${QOR_QT_DLLS})
  set(plugins ${QOR_QT_PLUGINS})
  if(ARG_TEST)
    list(APPEND dlls Qt6Test)
    list(APPEND plugins platforms/qoffscreen)
  endif()
  set(files ${QOR_MINGW_RUNTIME_DLLS})
  foreach(dll IN LISTS dlls)
    list(APPEND files ${QOR_QT_KIT_DIR}/bin/${dll}.dll)
  endforeach()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${files} ${QOR_DEPLOY_DIR})
  foreach(plugin IN LISTS plugins)
    get_filename_component(folder ${plugin} DIRECTORY)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QOR_DEPLOY_DIR}/${folder}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QOR_QT_KIT_DIR}/plugins/${plugin}.dll
              ${QOR_DEPLOY_DIR}/${folder})
  endforeach()
endfunction()

# What the installed program needs beside it, and Qt's licence (LGPL: the DLLs may be replaced).
function(qor_install_qt_runtime destination)
  set(files ${QOR_MINGW_RUNTIME_DLLS})
  foreach(dll IN LISTS QOR_QT_DLLS)
    list(APPEND files ${QOR_QT_KIT_DIR}/bin/${dll}.dll)
  endforeach()
  install(FILES ${files} DESTINATION ${destination})
  foreach(plugin IN LISTS QOR_QT_PLUGINS)
    get_filename_component(folder ${plugin} DIRECTORY)
    install(FILES ${QOR_QT_KIT_DIR}/plugins/${plugin}.dll DESTINATION ${destination}/${folder})
  endforeach()
  install(DIRECTORY ${QOR_QT_KIT_DIR}/licenses/ DESTINATION ${destination}/licenses/Qt)
  set(source ${CMAKE_BINARY_DIR}/qt-source.txt)
  file(WRITE ${source}
    "The Qt libraries beside this program (Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll and the\n"
    "plugins in platforms\\ and styles\\) are Qt ${Qt6_VERSION}, used under the GNU Lesser General\n"
    "Public License version 3 (LGPL-3.0-only.txt). They were built unchanged from Debian's\n"
    "qt6-base source package, version ${Qt6_VERSION}, which Debian publishes with its other\n"
    "source packages. You may replace these DLLs with a compatible build of your own.\n")
  install(FILES ${source} DESTINATION ${destination}/licenses/Qt RENAME README.txt)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/licenses-readme.txt
          DESTINATION ${destination}/licenses RENAME README.txt)
  install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION ${destination}/licenses/MinGW
          RENAME gcc-runtime-copyright.txt)
  install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION ${destination}/licenses/MinGW
          RENAME mingw-w64-copyright.txt)
endfunction()
