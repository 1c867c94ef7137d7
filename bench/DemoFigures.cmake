# Figures of the running programs: start-up, resident memory and idle CPU seen from outside
# in an X server, and the event loop's longest stall during an update in the main window.
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB IMPORTED_TARGET xcb)
if(XCB_FOUND)
  add_executable(app_figures ${CMAKE_CURRENT_LIST_DIR}/AppFigures.cpp)
  target_link_libraries(app_figures PRIVATE PkgConfig::XCB)
endif()

if(QOR_BUILD_GUI)
  add_executable(gui_stall_bench ${CMAKE_CURRENT_LIST_DIR}/GuiStallBench.cpp)
  target_link_libraries(gui_stall_bench PRIVATE qor_demo_core qor_gui)
endif()
