# movie_sound_bench: the .mp4/.mkv/.webm encoders on pre-rendered 720x480 frames, and what the
# show's sound adds to a movie in each container.
if(TARGET kv_video)
  add_executable(movie_sound_bench ${CMAKE_CURRENT_SOURCE_DIR}/movie_sound_bench.cpp)
  target_link_libraries(movie_sound_bench PRIVATE kv_video benchmark::benchmark)
  add_dependencies(benchmarks movie_sound_bench)
endif()
