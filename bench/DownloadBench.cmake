# The firmware download from a loopback server: wall and CPU time, and how long the event
# loop goes without being pumped.
include(${PROJECT_SOURCE_DIR}/tests/support/TestSupport.cmake)
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/DownloadBench.cpp)
target_link_libraries(download_bench PRIVATE qor_core qor_sim qor_download_test_support)

# The time from Cancel to the download dialog closing, in each phase of a transfer.
if(QOR_BUILD_GUI)
  add_executable(download_cancel_bench ${CMAKE_CURRENT_LIST_DIR}/DownloadCancelBench.cpp)
  target_link_libraries(download_cancel_bench PRIVATE qor_gui qor_download_test_support)
  target_link_libraries(download_cancel_bench PRIVATE qor_test_support)
endif()
