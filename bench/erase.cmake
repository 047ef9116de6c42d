# Native driver for erase-bench.sh: one secure delete run, timed.
add_executable(erase_bench ${CMAKE_CURRENT_LIST_DIR}/erase_bench.cpp)
target_link_libraries(erase_bench PRIVATE cryptelle_securedelete)
