# Wall time of a whole variant-a update over the virtual device with wire timing.
add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/UpdateBench.cpp)
target_link_libraries(update_bench PRIVATE qor_core qor_sim)
