# bench_optimize: one whole optimization of SRB.gem through the real console
# and gemray (--global: the global search); the last line it prints is "seconds: <x>".
add_executable(bench_optimize ${CMAKE_CURRENT_LIST_DIR}/bench_optimize.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchRig.h)
target_link_libraries(bench_optimize PRIVATE zep_global zep_merit_ui zep_console zep_design zep_settings)
target_compile_definitions(bench_optimize PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_optimize zepcmd gemray)
