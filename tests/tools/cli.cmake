# kinevista-cli tests: every tests/tools/cli/*_test.cpp, run against the built program.
kv_test(cli_tests cli)  # relative to tests/tools, which includes this file
if(TARGET cli_tests)
  add_dependencies(cli_tests kinevista-cli)
endif()
if(TARGET cli_tests)
  # The JSON reader is a source of the program, tested on its own.
  target_sources(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/cli/json_reader.cpp)
endif()
