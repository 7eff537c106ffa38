# editor_views_bench: playback share of due frames in the viewer and the stage's drag step, on the
# headless window backend.
add_executable(editor_views_bench ${CMAKE_CURRENT_SOURCE_DIR}/editor_views_bench.cpp)
target_link_libraries(editor_views_bench PRIVATE kv_ui benchmark::benchmark)
add_dependencies(benchmarks editor_views_bench)
