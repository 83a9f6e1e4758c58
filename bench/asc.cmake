# bench_asc: times reading GemCAD text designs (SRB.asc, and one of about 9,600
# facets near the reader's limit); the last line it prints is
# "ms_per_read_large: <median ms>".
add_executable(bench_asc ${CMAKE_CURRENT_LIST_DIR}/bench_asc.cpp)
target_link_libraries(bench_asc PRIVATE gemray_core)
target_compile_definitions(bench_asc PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
set_target_properties(bench_asc PROPERTIES AUTOMOC OFF)
