# movie_bench: whole-movie throughput (show file -> 300-frame 720x480 movie) against ffmpeg's
# zoompan writing the same codec from the same picture.
if(TARGET kv_output)
  add_executable(movie_bench ${CMAKE_CURRENT_SOURCE_DIR}/movie_bench.cpp)
  target_link_libraries(movie_bench PRIVATE kv_output benchmark::benchmark)
  add_dependencies(benchmarks movie_bench)
endif()
