# The firmware download from a loopback server: wall and CPU time, and how long the event
# loop goes without being pumped.
include(${PROJECT_SOURCE_DIR}/tests/download/DownloadTestSupport.cmake)
add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/DownloadBench.cpp)
target_link_libraries(download_bench PRIVATE qor_core qor_sim qor_download_test_support)
