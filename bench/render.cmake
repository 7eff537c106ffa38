# render_bench: frames per second of the frame renderer over the peer comparison's camera move.
add_executable(render_bench ${CMAKE_CURRENT_SOURCE_DIR}/render_bench.cpp)
target_link_libraries(render_bench PRIVATE kvcore benchmark::benchmark)
add_dependencies(benchmarks render_bench)
