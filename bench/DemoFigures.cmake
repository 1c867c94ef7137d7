# Figures of the running programs: start-up, resident memory and idle CPU seen from outside
# in an X server, and the event loop's longest stall in the main window during an update and
# during a download. Run from build/bench:
#   ../../bench/idle_figures.sh 60 10 [--load]   (the window beside a bare Qt window)
#   ../../bench/cli_figures.sh download 20       (the command line's download beside curl)
#   ../../bench/cli_figures.sh 20 cli/qor7316-update list
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/app_figures startup 10 gui/qor7316-updater \
#       --against bench/bare_window
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/app_figures startup 15 gui/qor7316-updater \
#       --against bench/toolkit_window
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/gui_stall_bench 5 10
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB IMPORTED_TARGET xcb)
if(XCB_FOUND)
  add_executable(app_figures ${CMAKE_CURRENT_LIST_DIR}/AppFigures.cpp)
  target_link_libraries(app_figures PRIVATE PkgConfig::XCB)
endif()

if(QOR_BUILD_GUI)
  # The yardstick the program's idle CPU, start-up and memory are held against.
  add_executable(bare_window ${CMAKE_CURRENT_LIST_DIR}/BareWindow.cpp)
  target_link_libraries(bare_window PRIVATE Qt6::Widgets)
  # The floor under it of any window with a menu bar, a group box and text (see README.md).
  add_executable(toolkit_window ${CMAKE_CURRENT_LIST_DIR}/ToolkitWindow.cpp)
  target_link_libraries(toolkit_window PRIVATE Qt6::Widgets)

  add_executable(gui_stall_bench ${CMAKE_CURRENT_LIST_DIR}/GuiStallBench.cpp)
  target_link_libraries(gui_stall_bench PRIVATE qor_demo_core qor_gui)
  include(${PROJECT_SOURCE_DIR}/tests/support/TestSupport.cmake)
  target_link_libraries(gui_stall_bench PRIVATE qor_test_support)
endif()

# A whole run of a command: wall, CPU and resident memory (bench/cli_figures.sh), and the
# loopback proxy its download figures go through.
add_executable(run_times ${CMAKE_CURRENT_LIST_DIR}/RunTimes.cpp)
add_executable(download_proxy ${CMAKE_CURRENT_LIST_DIR}/DownloadProxy.cpp)
target_link_libraries(download_proxy PRIVATE qor_core qor_sim)
