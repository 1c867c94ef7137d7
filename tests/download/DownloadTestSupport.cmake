# The tinyproxy runner, with the firmware server, shared by the download tests and the download
# benchmark; whichever of the two is configured first defines the library.
if(NOT TARGET qor_download_test_support)
  add_library(qor_download_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/TinyProxy.cpp)
  target_include_directories(qor_download_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
  target_link_libraries(qor_download_test_support PUBLIC qor_sim_http)
endif()
