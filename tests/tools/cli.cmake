# kinevista-cli tests: every tests/tools/cli/*_test.cpp, run against the built program.
kv_test(cli_tests cli)  # relative to tests/tools, which includes this file
if(TARGET cli_tests)
  add_dependencies(cli_tests kinevista-cli)
endif()
if(TARGET cli_tests)
  # The JSON reader is a source of the program, tested on its own.
  target_sources(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/cli/json_reader.cpp)
endif()

# farm on a real single-node Slurm cluster: a program of its own, run once between the
# cluster's start and stop (scripts/slurm_cluster.sh), and not under the sanitizers. When the
# cluster cannot start here the program's tests skip and say why, and the program ends with the
# skip code so that CTest reports cli_farm as skipped, not passed.
if(TARGET cli_tests)
  get_target_property(cli_srcs cli_tests SOURCES)
  list(FILTER cli_srcs EXCLUDE REGEX "farm_test\\.cpp$")
  set_property(TARGET cli_tests PROPERTY SOURCES ${cli_srcs})
  add_executable(farm_tests ${CMAKE_CURRENT_SOURCE_DIR}/cli/farm_test.cpp)
  target_link_libraries(farm_tests PRIVATE kvtest_main)
  add_dependencies(farm_tests kinevista-cli)
  set(KV_SLURM_DIR ${CMAKE_BINARY_DIR}/slurm)
  add_test(NAME slurm_cluster_start
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/slurm_cluster.sh try-start ${KV_SLURM_DIR})
  add_test(NAME slurm_cluster_stop
           COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/slurm_cluster.sh stop ${KV_SLURM_DIR})
  add_test(NAME cli_farm COMMAND farm_tests)
  set_tests_properties(slurm_cluster_start PROPERTIES FIXTURES_SETUP slurm
                       LABELS "no_sanitize;slurm" TIMEOUT 120)
  set_tests_properties(slurm_cluster_stop PROPERTIES FIXTURES_CLEANUP slurm
                       LABELS "no_sanitize;slurm" TIMEOUT 60)
  set_tests_properties(cli_farm PROPERTIES FIXTURES_REQUIRED slurm
                       LABELS "no_sanitize;slurm" TIMEOUT 300 SKIP_RETURN_CODE 77
                       ENVIRONMENT "SLURM_CONF=${KV_SLURM_DIR}/slurm.conf;KV_SLURM_DIR=${KV_SLURM_DIR};KV_SKIP_RETURN_CODE=77")
endif()
if(TARGET cli_tests)
  target_sources(cli_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/cli/farm_scripts.cpp)
endif()
