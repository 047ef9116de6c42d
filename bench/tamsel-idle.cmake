# The tray program's idle cost under Wine (docs/performance.md, "Tamsel at rest").
if(TARGET tamsel)
  add_executable(tamsel_idle_bench ${CMAKE_CURRENT_LIST_DIR}/tamsel_idle_bench.cpp)
  target_link_libraries(tamsel_idle_bench PRIVATE cryptelle_monitor psapi)
  target_link_options(tamsel_idle_bench PRIVATE -municode)
  target_compile_definitions(tamsel_idle_bench PRIVATE TAMSEL_PATH="$<TARGET_FILE:tamsel>")
  add_dependencies(tamsel_idle_bench tamsel)
endif()
