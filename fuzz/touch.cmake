# The tablet's touch parser under libFuzzer; it is pure, so its one source is compiled in directly.
add_executable(fuzz_touch_parser
    ${CMAKE_CURRENT_LIST_DIR}/fuzz_touch_parser.cpp
    ${CMAKE_SOURCE_DIR}/src/devices/TouchParser.cpp)
target_include_directories(fuzz_touch_parser PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(fuzz_touch_parser PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
target_link_options(fuzz_touch_parser PRIVATE -fsanitize=fuzzer,address,undefined)
set_target_properties(fuzz_touch_parser PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
