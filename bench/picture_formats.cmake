# picture_formats_bench: loading speed of the further picture formats, turning and ICC. It makes
# its Display P3 profile with LittleCMS.
pkg_check_modules(KV_BENCH_LCMS IMPORTED_TARGET lcms2)
if(KV_BENCH_LCMS_FOUND)
  add_executable(picture_formats_bench ${CMAKE_CURRENT_SOURCE_DIR}/picture_formats_bench.cpp)
  target_link_libraries(picture_formats_bench PRIVATE kvcore benchmark::benchmark
                                                      PkgConfig::KV_BENCH_LCMS)
  add_dependencies(benchmarks picture_formats_bench)
endif()
