# Installed layout under the prefix: programs in bin/, the host plug-in in lib/kinevista/, the
# frei0r source in lib/frei0r-1/ (its own CMake file), the manual, the example show, man pages,
# bash completion and the desktop files (menu entry, icons, the show's file type). The programs
# look for their files relative to their own folder, so the build tree and this tree both work.
include(GNUInstallDirs)

if(TARGET kinevista)
  install(TARGETS kinevista RUNTIME DESTINATION bin)
endif()
foreach(program kinevista-cli kinevista-host)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()
if(TARGET kinevista_plugin)
  if(WIN32)
    install(TARGETS kinevista_plugin RUNTIME DESTINATION bin LIBRARY DESTINATION bin)
  else()
    install(TARGETS kinevista_plugin LIBRARY DESTINATION lib/kinevista)
  endif()
endif()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/manual/ DESTINATION share/kinevista/manual)
# The example keeps its stored picture path (examples/example.jpg), so a render from
# share/kinevista finds the picture.
install(FILES ${CMAKE_SOURCE_DIR}/examples/example.kvx ${CMAKE_SOURCE_DIR}/examples/example.jpg
        DESTINATION share/kinevista/examples)

if(NOT WIN32)
  set(pkg ${CMAKE_CURRENT_LIST_DIR})
  install(FILES ${pkg}/man/kinevista.1 ${pkg}/man/kinevista-cli.1 ${pkg}/man/kinevista-host.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${pkg}/bash-completion/kinevista-cli
          DESTINATION share/bash-completion/completions)
  install(FILES ${pkg}/linux/kinevista.desktop DESTINATION share/applications)
  install(FILES ${pkg}/linux/kinevista-show.xml DESTINATION share/mime/packages)
  install(FILES ${pkg}/linux/kinevista.svg DESTINATION share/icons/hicolor/scalable/apps)
  # The PNG sizes are drawn at build time from the same shapes as the SVG.
  set(KV_ICON_SIZES 16 32 48 64 128 256)
  set(icons)
  foreach(size ${KV_ICON_SIZES})
    list(APPEND icons ${CMAKE_BINARY_DIR}/icons/${size}x${size}/kinevista.png)
    install(FILES ${CMAKE_BINARY_DIR}/icons/${size}x${size}/kinevista.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_command(OUTPUT ${icons}
    COMMAND Python3::Interpreter ${pkg}/linux/make_icons.py ${CMAKE_BINARY_DIR}/icons
            ${KV_ICON_SIZES}
    DEPENDS ${pkg}/linux/make_icons.py
    COMMENT "Drawing the PNG icons")
  add_custom_target(kinevista_icons ALL DEPENDS ${icons})
endif()
