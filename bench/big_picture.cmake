# big_picture_show: the show files of bench/big_picture.sh (big JPEGs against zoompan).
if(TARGET kv_core_document)
  add_executable(big_picture_show ${CMAKE_CURRENT_SOURCE_DIR}/big_picture_show.cpp)
  target_link_libraries(big_picture_show PRIVATE kvcore)
  add_dependencies(benchmarks big_picture_show)
endif()
