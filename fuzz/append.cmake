# The append fuzz target; included from fuzz/CMakeLists.txt after veltrum_workbook_fuzz is defined.
add_executable(fuzz_workbook_append ${CMAKE_CURRENT_LIST_DIR}/fuzz_workbook_append.cpp)
target_link_libraries(fuzz_workbook_append PRIVATE veltrum_workbook_fuzz)
target_compile_options(fuzz_workbook_append PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
target_link_options(fuzz_workbook_append PRIVATE -fsanitize=fuzzer,address,undefined)
set_target_properties(fuzz_workbook_append PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
