# The monitor pass over large watched trees (docs/performance.md, "Monitor pass").
add_executable(monitor_bench ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp)
target_link_libraries(monitor_bench PRIVATE cryptelle_monitor)
