# plugin_bench: what a frame costs inside the host when "PrivateData" is unchanged, against the
# render itself.
if(TARGET kinevista_plugin AND TARGET kv_simhost)
  add_executable(plugin_bench ${CMAKE_CURRENT_SOURCE_DIR}/plugin_bench.cpp)
  target_link_libraries(plugin_bench PRIVATE kvcore kv_simhost benchmark::benchmark)
  target_compile_definitions(plugin_bench PRIVATE KV_PLUGIN_PATH="$<TARGET_FILE:kinevista_plugin>")
  add_dependencies(plugin_bench kinevista_plugin)
  add_dependencies(benchmarks plugin_bench)
endif()
