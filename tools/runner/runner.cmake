# A console program that runs a Windows program and prints its full exit code.
add_executable(runner ${CMAKE_CURRENT_LIST_DIR}/runner.cpp)
kiteboot_target_defaults(runner)
kiteboot_link_standalone(runner)
if(MINGW)
    target_link_options(runner PRIVATE -municode)
endif()
target_link_libraries(runner PRIVATE kiteboot_common_share kiteboot_argument_quoting shell32)
