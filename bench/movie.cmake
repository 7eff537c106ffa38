# movie_bench: whole-movie throughput (in process, and whole kinevista-cli runs at 720x480 and
# 1920x1080) against ffmpeg's zoompan writing the same codec from the same picture, with the
# encoder-alone and raw-writer-alone limits measured in the same run, and the time of each stage
# (decode, render, convert, encode, write) of the old and the new ways.
if(TARGET kv_output)
  pkg_check_modules(KV_BENCH_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil
                    libswscale)
  add_executable(movie_bench ${CMAKE_CURRENT_SOURCE_DIR}/movie_bench.cpp
                             ${CMAKE_CURRENT_SOURCE_DIR}/movie_stages.cpp)
  target_link_libraries(movie_bench PRIVATE kv_output benchmark::benchmark
                                            PkgConfig::KV_BENCH_FFMPEG)
  add_dependencies(benchmarks movie_bench)
  if(TARGET kinevista-cli)
    add_dependencies(movie_bench kinevista-cli)
  endif()
endif()
