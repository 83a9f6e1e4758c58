# bench_movie: zeptool's 24-frame colour orbit of SRB.gem with -j 2, then the
# PlayPen's Make Movie of 24 random frames through the real console; the last
# line it prints is "playpen_orbit_seconds: <x>".
add_executable(bench_movie ${CMAKE_CURRENT_LIST_DIR}/bench_movie.cpp)
target_link_libraries(bench_movie PRIVATE zep_playpen_ui zep_console zep_settings)
target_compile_definitions(bench_movie PRIVATE
  ZEP_DESIGNS_DIR="${CMAKE_SOURCE_DIR}/tests/data/designs")
add_dependencies(bench_movie zepcmd zeptool gemray)
