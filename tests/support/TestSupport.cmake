# Helpers of the tests and benchmarks, included as "qortest/...": a prefix of their own, so a
# helper never shadows a header of the program. Made once, by whichever needs them first.
if(TARGET qor_test_support)
  return()
endif()

add_library(qor_test_support INTERFACE)
target_include_directories(qor_test_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})

# tinyproxy for the proxy tests, beside the firmware server with its faults.
if(NOT WIN32)
  add_library(qor_download_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/qortest/TinyProxy.cpp)
  qor_link_layers(qor_download_test_support PUBLIC sim)
  target_link_libraries(qor_download_test_support PUBLIC qor_test_support)
endif()
