# Wall time of a whole variant-a update over the virtual device with wire timing.
add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/UpdateBench.cpp)
target_link_libraries(update_bench PRIVATE qor_core qor_sim)

# A line of 32 devices written at once by the command line, side by side with one alone.
add_executable(many_devices_bench ${CMAKE_CURRENT_LIST_DIR}/ManyDevicesBench.cpp)
qor_link_layers(many_devices_bench cli sim)
