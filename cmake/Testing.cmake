if(NOT CRYPTELLE_TESTS)
  return()
endif()
enable_testing()

if(CMAKE_CROSSCOMPILING)
  # Debian ships GoogleTest only as source for other targets.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# A test executable: natively each case is its own CTest entry; under Wine one
# entry per executable, since listing cases would start Wine at build time.
function(cryptelle_add_gtest target)
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
  else()
    gtest_discover_tests(${target} TEST_PREFIX "${target}." DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# One test executable per *_test.cpp file of a folder, linked with the given libraries.
function(cryptelle_add_test_folder)
  file(GLOB test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(source ${test_sources})
    get_filename_component(name ${source} NAME_WE)
    set(target ${folder}_${name})
    add_executable(${target} ${source})
    target_link_libraries(${target} PRIVATE ${ARGN} cryptelle_test_support)
    cryptelle_add_gtest(${target})
  endforeach()
endfunction()
