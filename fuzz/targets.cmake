# libFuzzer targets for the image reader, a seed generator, and a short run of each in the tests.

# The fuzz targets link instrumented copies of the core and the platform layer, so that the
# reader's branches give coverage feedback; the ordinary libraries and tests stay as they are.
function(cryptelle_fuzz_copy original copy)
  get_target_property(sources ${original} SOURCES)
  get_target_property(source_dir ${original} SOURCE_DIR)
  list(TRANSFORM sources PREPEND "${source_dir}/" REGEX "^[^/]")
  get_target_property(includes ${original} INCLUDE_DIRECTORIES)
  get_target_property(links ${original} LINK_LIBRARIES)
  list(TRANSFORM links REPLACE "^(cryptelle_.*)$" "\\1_fuzz")
  add_library(${copy} STATIC ${sources})
  if(includes)
    target_include_directories(${copy} PUBLIC ${includes})
  endif()
  target_link_libraries(${copy} PUBLIC ${links})
  target_compile_options(${copy} PRIVATE -fsanitize=fuzzer-no-link)
endfunction()
cryptelle_fuzz_copy(cryptelle_platform cryptelle_platform_fuzz)
cryptelle_fuzz_copy(cryptelle_core cryptelle_core_fuzz)

add_executable(image_fuzz ${CMAKE_CURRENT_SOURCE_DIR}/image_fuzz.cpp)
target_compile_options(image_fuzz PRIVATE -fsanitize=fuzzer)
target_link_options(image_fuzz PRIVATE -fsanitize=fuzzer)
target_link_libraries(image_fuzz PRIVATE cryptelle_core_fuzz)

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
