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

set(fuzz_dir ${CMAKE_CURRENT_SOURCE_DIR})
function(cryptelle_fuzz_target name)
  add_executable(${name} ${fuzz_dir}/${name}.cpp ${fuzz_dir}/ReaderRun.cpp ${ARGN})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE cryptelle_core_fuzz zlib_dep)
endfunction()
cryptelle_fuzz_target(image_fuzz)
cryptelle_fuzz_target(described_image_fuzz ${fuzz_dir}/ImageDescription.cpp)

add_executable(image_fuzz_seeds ${fuzz_dir}/ImageSeeds.cpp ${fuzz_dir}/ImageDescription.cpp)
target_link_libraries(image_fuzz_seeds PRIVATE cryptelle_core zlib_dep)

if(CRYPTELLE_TESTS)
  # Seeds are written once per run of the tests; new inputs go to the work folders in the
  # build tree, the seeds stay as generated.
  set(corpus ${CMAKE_CURRENT_BINARY_DIR})
  add_test(NAME image_fuzz_seeds
           COMMAND image_fuzz_seeds ${corpus}/image-seeds ${corpus}/image-corpus
                   ${corpus}/description-seeds ${corpus}/description-corpus)
  set_tests_properties(image_fuzz_seeds PROPERTIES FIXTURES_SETUP image_seeds)
  function(cryptelle_fuzz_short_run binary corpus_name)
    add_test(NAME ${binary}_short
             COMMAND ${binary} -max_total_time=30 -timeout=20 -rss_limit_mb=2048
                     ${corpus}/${corpus_name}-corpus ${corpus}/${corpus_name}-seeds)
    set_tests_properties(${binary}_short PROPERTIES FIXTURES_REQUIRED image_seeds TIMEOUT 120)
  endfunction()
  cryptelle_fuzz_short_run(image_fuzz image)
  cryptelle_fuzz_short_run(described_image_fuzz description)
endif()
