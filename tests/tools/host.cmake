# kinevista-host tests: every tests/tools/host/*_test.cpp, run against the built program and
# plug-in, the stand-in editor, and kinevista-cli (to compare renders).
if(TARGET kinevista-host AND TARGET kinevista_plugin)
  kv_test(host_tool_tests host)
  if(TARGET host_tool_tests)
    add_dependencies(host_tool_tests kinevista-host kinevista_plugin fake_editor kinevista-cli)
    target_compile_definitions(host_tool_tests PRIVATE
      KV_PLUGIN_PATH="$<TARGET_FILE:kinevista_plugin>"
      KV_FAKE_EDITOR="$<TARGET_FILE:fake_editor>")
  endif()
endif()
