# bench_evaluation: merit function evaluations of SRB.gem through the real
# console and gemray; the last three lines it prints are
# "ms_per_raytrace: <x>", "overhead_ms_per_raytrace: <x>" (time outside
# gemray) and "wait_cpu_percent: <x>" (ZEP's own CPU while waiting).
add_executable(bench_evaluation ${CMAKE_CURRENT_LIST_DIR}/bench_evaluation.cpp)
target_link_libraries(bench_evaluation PRIVATE zep_merit_ui zep_console zep_settings)
target_compile_definitions(bench_evaluation PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_evaluation zepcmd)
if(TARGET gemray)
  add_dependencies(bench_evaluation gemray)
endif()
