# What `cmake --install` and the Debian package put on the system: the
# command, the desktop window with its menu entry and icon, the guides the
# window opens, the man page and the bash completion. The test-data tools,
# the tests and the benchmarks have no install rules and stay in the build
# tree.
include(GNUInstallDirs)

install(TARGETS kestrin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(TARGET kestrin-gui)
  install(TARGETS kestrin-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${PROJECT_SOURCE_DIR}/gui/kestrin.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  if(EXISTS "${PROJECT_SOURCE_DIR}/gui/resources/kestrin.svg")
    install(FILES "${PROJECT_SOURCE_DIR}/gui/resources/kestrin.svg"
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  endif()
endif()

# Globbed when CMake configures; CONFIGURE_DEPENDS makes a build notice
# guides added later.
file(GLOB kestrin_guides CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/docs/guides/*.html")
if(kestrin_guides)
  install(FILES ${kestrin_guides} DESTINATION ${KESTRIN_GUIDES_INSTALL_DIR})
endif()

# The man page carries the project's version; Debian keeps man pages
# compressed, and man reads either form.
set(kestrin_man_page "${PROJECT_BINARY_DIR}/man/kestrin.1")
configure_file("${PROJECT_SOURCE_DIR}/docs/kestrin.1" "${kestrin_man_page}" @ONLY)
find_program(GZIP_EXECUTABLE gzip)
if(GZIP_EXECUTABLE)
  set(kestrin_man_gz "${PROJECT_BINARY_DIR}/man/kestrin.1.gz")
  add_custom_command(
    OUTPUT "${kestrin_man_gz}"
    COMMAND ${GZIP_EXECUTABLE} -9 -n -k -f "${kestrin_man_page}"
    DEPENDS "${kestrin_man_page}"
    VERBATIM)
  add_custom_target(kestrin_man_page ALL DEPENDS "${kestrin_man_gz}")
  install(FILES "${kestrin_man_gz}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES "${kestrin_man_page}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(FILES "${PROJECT_SOURCE_DIR}/completion/kestrin.bash"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kestrin)
