# The Windows build's tests: GoogleTest built from Debian's sources with the cross compiler, the
# core's test programs as .exe files, run under Wine by tests/windows/run_wine.sh (a fresh Wine
# prefix inside the build folder). Included from tests/CMakeLists.txt for WIN32 builds only.
set(KV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${KV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

add_library(kvtest_main STATIC ${CMAKE_CURRENT_SOURCE_DIR}/test_main_win.cpp
                               ${CMAKE_CURRENT_SOURCE_DIR}/test_support_win.cpp)
target_link_libraries(kvtest_main PUBLIC kvcore gtest)
# Under Wine the build machine's files are on drive Z:.
set(KV_HOST_DRIVE "")
if(CMAKE_CROSSCOMPILING)
  set(KV_HOST_DRIVE "Z:")
endif()
target_compile_definitions(kvtest_main PUBLIC
  KV_FIXTURES="${KV_HOST_DRIVE}${CMAKE_CURRENT_SOURCE_DIR}/fixtures"
  KV_BIN_DIR="${KV_HOST_DRIVE}${CMAKE_BINARY_DIR}/bin"
  KV_SOURCE_DIR="${KV_HOST_DRIVE}${CMAKE_SOURCE_DIR}")

# kv_win_test(name dir [WINDOWS_ONLY] [EXCLUDE file...]): one program from
# tests/<dir>/*_test.cpp, less the files named after EXCLUDE; with WINDOWS_ONLY from the Windows
# side's *_win_test.cpp alone (the others test the POSIX files).
function(kv_win_test name dir)
  cmake_parse_arguments(arg "WINDOWS_ONLY" "" "EXCLUDE" ${ARGN})
  if(arg_WINDOWS_ONLY)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_win_test.cpp)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*_test.cpp)
  endif()
  foreach(excluded ${arg_EXCLUDE})
    list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${excluded})
  endforeach()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE kvtest_main)
  add_dependencies(kv_windows_tests ${name})
endfunction()

add_custom_target(kv_windows_tests)
kv_win_test(core_base_tests core/base)
kv_win_test(core_show_tests core/show)
kv_win_test(core_document_tests core/document)
# The TIFF, HEIF and WebP libraries are not in the Windows build: their tests stay on Linux.
kv_win_test(core_picture_tests core/picture EXCLUDE read_more_test.cpp read_more_bombs_test.cpp
            read_tiff_kinds_test.cpp)
target_link_libraries(core_picture_tests PRIVATE psapi)
kv_win_test(core_render_tests core/render)
# The Windows side of the platform layers.
kv_win_test(platform_os_win_tests platform/os WINDOWS_ONLY)
kv_win_test(platform_video_win_tests platform/video WINDOWS_ONLY)
target_link_libraries(platform_video_win_tests PRIVATE kv_video vfw32 avifil32)
# The window layer: its geometry, message-queue, menu and drawing tests on the headless backend,
# and the layer on the system's own windows (needs a display: Wine's X11 driver on Xvfb).
if(TARGET kv_win)
  # (The SDL smoke run and the leak-check suppressions are Linux's.)
  file(GLOB kvwin_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/win/*_test.cpp)
  list(REMOVE_ITEM kvwin_srcs ${CMAKE_CURRENT_SOURCE_DIR}/platform/win/sdl_smoke_test.cpp
                              ${CMAKE_CURRENT_SOURCE_DIR}/platform/win/leak_suppressions_test.cpp)
  add_executable(platform_win_tests ${kvwin_srcs})
  target_link_libraries(platform_win_tests PRIVATE kvtest_main kv_win)
  add_dependencies(kv_windows_tests platform_win_tests)
  kv_win_test(platform_win_win_tests platform/win/win32)
  target_sources(platform_win_win_tests PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/win/win32/native_probe.cpp)
  target_link_libraries(platform_win_win_tests PRIVATE kv_win)
  # Works the editor's windows through window messages in the Wine checks.
  add_executable(post_input ${CMAKE_CURRENT_SOURCE_DIR}/windows/post_input.cpp)
  target_link_options(post_input PRIVATE -municode)
endif()
