# bench_study: a study of the four sample designs in two materials with one
# and with two jobs at a time; the last line it prints is "speedup: <x>".
add_executable(bench_study ${CMAKE_CURRENT_LIST_DIR}/bench_study.cpp)
target_link_libraries(bench_study PRIVATE Qt6::Core)
target_compile_definitions(bench_study PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_study zeptool gemray)
