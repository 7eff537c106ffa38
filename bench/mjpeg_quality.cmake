# mjpeg_quality: sizes and PSNR of Motion JPEG frames from FFmpeg's encoder and from
# libjpeg-turbo at each job quality, and the libjpeg quality that keeps frames no larger.
if(TARGET kv_video AND NOT WIN32)
  pkg_check_modules(KV_BENCH_MJPEG IMPORTED_TARGET libavcodec libavutil libswscale libturbojpeg)
  if(KV_BENCH_MJPEG_FOUND)
    add_executable(mjpeg_quality ${CMAKE_CURRENT_SOURCE_DIR}/mjpeg_quality.cpp)
    target_link_libraries(mjpeg_quality PRIVATE kvcore kv_video PkgConfig::KV_BENCH_MJPEG)
    add_dependencies(benchmarks mjpeg_quality)
  endif()
endif()
