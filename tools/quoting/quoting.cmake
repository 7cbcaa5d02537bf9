# Quoting an argument vector into a command line: used by the runner and the test harness.
add_library(kiteboot_argument_quoting STATIC ${CMAKE_CURRENT_LIST_DIR}/ArgumentQuoting.cpp)
target_include_directories(kiteboot_argument_quoting PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
kiteboot_target_defaults(kiteboot_argument_quoting)
