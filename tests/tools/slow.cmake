# Slow tests of the command-line tool's parts: they compare run times, so they carry the label
# "slow" (ctest -L slow runs them alone, ctest -LE slow leaves them out).
file(GLOB slow_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/slow/*_test.cpp)
if(slow_sources AND TARGET kinevista-cli)
  add_executable(cli_slow_tests ${slow_sources} ${CMAKE_SOURCE_DIR}/tools/cli/json_reader.cpp)
  target_link_libraries(cli_slow_tests PRIVATE kvtest_main)
  gtest_discover_tests(cli_slow_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 LABELS "slow")
endif()
