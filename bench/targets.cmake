# Cipher micro benchmark (Google Benchmark).
find_package(benchmark REQUIRED)
add_executable(cipher_bench ${CMAKE_CURRENT_SOURCE_DIR}/cipher_bench.cpp)
target_link_libraries(cipher_bench PRIVATE cryptelle_core benchmark::benchmark)
