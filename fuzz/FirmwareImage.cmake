# The image file check and load, fuzzed on raw bytes. The sources are compiled into the target
# itself so that they carry the fuzzer's coverage instrumentation.
add_executable(fuzz_firmware_image
  ${CMAKE_CURRENT_LIST_DIR}/FuzzFirmwareImage.cpp
  ${PROJECT_SOURCE_DIR}/firmware/FirmwareImage.cpp
  ${PROJECT_SOURCE_DIR}/firmware/Explode.cpp
  ${PROJECT_SOURCE_DIR}/firmware/Windows1252.cpp
  ${PROJECT_SOURCE_DIR}/device/Crc32.cpp
)
target_include_directories(fuzz_firmware_image PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(fuzz_firmware_image PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(fuzz_firmware_image PRIVATE -fsanitize=fuzzer,address,undefined)
