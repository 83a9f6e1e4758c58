# bench_map: a whole 11 × 11 merit function map of SRB.gem through the real
# console and gemray; the last line it prints is "seconds: <x>".
add_executable(bench_map ${CMAKE_CURRENT_LIST_DIR}/bench_map.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchRig.h)
target_link_libraries(bench_map PRIVATE zep_mapper zep_merit_ui zep_console zep_design zep_settings)
target_compile_definitions(bench_map PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_map zepcmd)
if(TARGET gemray)
  add_dependencies(bench_map gemray)
endif()
