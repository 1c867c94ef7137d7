# Figures of the running programs: start-up, resident memory and idle CPU seen from outside
# in an X server, and the event loop's longest stall in the main window during an update and
# during a download. Run from build/bench:
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/app_figures startup 10 gui/qor7316-updater
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/app_figures idle 60 gui/qor7316-updater
#   xvfb-run -a -s "-screen 0 1280x800x24" bench/gui_stall_bench 5 10
#   ../../bench/idle_figures.sh 60 10      (the program beside a bare Qt window)
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

  add_executable(gui_stall_bench ${CMAKE_CURRENT_LIST_DIR}/GuiStallBench.cpp)
  target_link_libraries(gui_stall_bench PRIVATE qor_demo_core qor_gui)
  include(${PROJECT_SOURCE_DIR}/tests/support/TestSupport.cmake)
  target_link_libraries(gui_stall_bench PRIVATE qor_test_support)
endif()
