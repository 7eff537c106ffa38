# kinevista-host tests: every tests/tools/host/*_test.cpp, run against the built program and
# plug-in (and kinevista-cli, to compare renders, when it is built).
if(TARGET kinevista-host AND TARGET kinevista_plugin)
  kv_test(host_tool_tests host)
  if(TARGET host_tool_tests)
    add_dependencies(host_tool_tests kinevista-host kinevista_plugin)
    set(_kv_fake "")
    if(TARGET fake_editor)
      add_dependencies(host_tool_tests fake_editor)
      set(_kv_fake "$<TARGET_FILE:fake_editor>")
    endif()
    if(TARGET kinevista-cli)
      add_dependencies(host_tool_tests kinevista-cli)
    endif()
    target_compile_definitions(host_tool_tests PRIVATE
      KV_PLUGIN_PATH="$<TARGET_FILE:kinevista_plugin>" KV_FAKE_EDITOR="${_kv_fake}")
  endif()
endif()
