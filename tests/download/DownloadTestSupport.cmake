# The loopback server and tinyproxy runner, shared by the download tests and the download
# benchmark; whichever of the two is configured first defines the library.
if(NOT TARGET qor_download_test_support)
  find_package(Threads REQUIRED)
  add_library(qor_download_test_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/LoopbackHttpServer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TinyProxy.cpp)
  target_include_directories(qor_download_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(qor_download_test_support PUBLIC Threads::Threads)
endif()
