# The firmware download from a loopback server: wall and CPU time, and how long the event
# loop goes without being pumped.
find_package(Threads REQUIRED)
add_executable(download_bench
  ${CMAKE_CURRENT_LIST_DIR}/DownloadBench.cpp
  ${PROJECT_SOURCE_DIR}/tests/download/LoopbackHttpServer.cpp)
target_include_directories(download_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests)
target_link_libraries(download_bench PRIVATE qor_core Threads::Threads)
