# libFuzzer target for the image reader, a seed generator, and a short run in the tests.
add_executable(image_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/image_fuzz.cpp)
target_compile_options(image_fuzz PRIVATE -fsanitize=fuzzer)
target_link_options(image_fuzz PRIVATE -fsanitize=fuzzer)
target_link_libraries(image_fuzz PRIVATE cryptelle_core)

add_executable(image_fuzz_seeds ${CMAKE_CURRENT_SOURCE_DIR}/ImageSeeds.cpp)
target_link_libraries(image_fuzz_seeds PRIVATE cryptelle_core zlib_dep)

if(CRYPTELLE_TESTS)
  set(fuzz_seeds ${CMAKE_CURRENT_BINARY_DIR}/image-seeds)
  set(fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/image-corpus)
  add_test(NAME image_fuzz_seeds COMMAND image_fuzz_seeds ${fuzz_seeds} ${fuzz_work})
  set_tests_properties(image_fuzz_seeds PROPERTIES FIXTURES_SETUP image_seeds)
  # New inputs go to the work folder in the build tree; the seeds stay as generated.
  add_test(NAME image_fuzz_short
           COMMAND image_fuzz -max_total_time=30 -timeout=20 -rss_limit_mb=2048
                   ${fuzz_work} ${fuzz_seeds})
  set_tests_properties(image_fuzz_short PROPERTIES FIXTURES_REQUIRED image_seeds TIMEOUT 120)
endif()
