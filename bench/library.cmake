# bench_library: the design library's four bars. Adding 3,000 designs (the
# sample designs re-cut to varied angles, written as .asc), a filtered, sorted
# list over 10,000, a first ranking of 200 in Quartz with two jobs at a time,
# and a second ranking over current results.
add_executable(bench_library ${CMAKE_CURRENT_LIST_DIR}/bench_library.cpp)
target_link_libraries(bench_library PRIVATE zep_library)
target_compile_definitions(bench_library PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_library zeptool gemray)
