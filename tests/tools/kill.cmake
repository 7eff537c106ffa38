# The kill test: kill -9 of writers at random moments never leaves a target that is neither the
# old nor the new complete file. Labelled "kill" so it can be told apart (and run alone with
# ctest -L kill); it is bounded in time and part of the normal suite.
file(GLOB kill_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/kill/*_test.cpp)
if(kill_sources AND TARGET kinevista-cli)
  add_executable(kill_tests ${kill_sources})
  target_link_libraries(kill_tests PRIVATE kvtest_main)
  add_dependencies(kill_tests kinevista-cli)
  gtest_discover_tests(kill_tests DISCOVERY_TIMEOUT 60 TEST_LIST kv_kill_tests
                       PROPERTIES TIMEOUT 300)
  kv_discovered_test_properties(kv_kill_tests LABELS kill no_sanitize)
endif()
