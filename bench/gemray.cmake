# bench_gemray: times gemray runs of SRB.gem (three images, default quality) and a
# pavilion sweep; the last line it prints is "ms_per_run: <median ms>".
add_executable(bench_gemray ${CMAKE_CURRENT_LIST_DIR}/bench_gemray.cpp)
target_link_libraries(bench_gemray PRIVATE gemray_core)
target_compile_definitions(bench_gemray PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
set_target_properties(bench_gemray PROPERTIES AUTOMOC OFF)
