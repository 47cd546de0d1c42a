# The benchmark's reference: the tool's read loop with nothing around it.
add_executable(bare_loop tools/bench/bare_loop.cpp)
target_include_directories(bare_loop PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bare_loop PRIVATE wininet)
set_target_properties(bare_loop PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# The start-up reference: the main window's dialog with nothing behind it.
add_executable(bare_dialog WIN32 tools/bench/bare_dialog.cpp resources/cveltrix.rc)
target_include_directories(bare_dialog PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(bare_dialog PRIVATE cveltrix_win)
set_target_properties(bare_dialog PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
