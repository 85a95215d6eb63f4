# What `cmake --install` and the Debian package put on the system: the
# command, the desktop window with its menu entry and icon, the guides the
# window opens, the man pages, the licence, the changelog and the bash
# completion. The test-data tools, the tests and the benchmarks have no
# install rules and stay in the build tree.
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

# The man pages carry the project's version; Debian keeps man pages
# compressed, and man reads either form.
set(kestrin_man_pages kestrin)
if(TARGET kestrin-gui)
  list(APPEND kestrin_man_pages kestrin-gui)
endif()
find_program(GZIP_EXECUTABLE gzip)
set(kestrin_man_outputs "")
foreach(page IN LISTS kestrin_man_pages)
  set(man_page "${PROJECT_BINARY_DIR}/man/${page}.1")
  configure_file("${PROJECT_SOURCE_DIR}/docs/${page}.1" "${man_page}" @ONLY)
  if(GZIP_EXECUTABLE)
    add_custom_command(
      OUTPUT "${man_page}.gz"
      COMMAND ${GZIP_EXECUTABLE} -9 -n -k -f "${man_page}"
      DEPENDS "${man_page}"
      VERBATIM)
    list(APPEND kestrin_man_outputs "${man_page}.gz")
    install(FILES "${man_page}.gz" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES "${man_page}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()
if(kestrin_man_outputs)
  add_custom_target(kestrin_man_page ALL DEPENDS ${kestrin_man_outputs})
endif()

# The licence in the form Debian asks for (/usr/share/doc/<package>/copyright)
# and the changelog, compressed as man pages are.
set(kestrin_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/kestrin")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" DESTINATION ${kestrin_doc_dir})
if(GZIP_EXECUTABLE)
  set(kestrin_changelog_gz "${PROJECT_BINARY_DIR}/doc/changelog.gz")
  add_custom_command(
    OUTPUT "${kestrin_changelog_gz}"
    COMMAND ${CMAKE_COMMAND} -E copy "${PROJECT_SOURCE_DIR}/packaging/changelog"
            "${PROJECT_BINARY_DIR}/doc/changelog"
    COMMAND ${GZIP_EXECUTABLE} -9 -n -f "${PROJECT_BINARY_DIR}/doc/changelog"
    DEPENDS "${PROJECT_SOURCE_DIR}/packaging/changelog"
    VERBATIM)
  add_custom_target(kestrin_changelog ALL DEPENDS "${kestrin_changelog_gz}")
  install(FILES "${kestrin_changelog_gz}" DESTINATION ${kestrin_doc_dir})
else()
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/changelog" DESTINATION ${kestrin_doc_dir})
endif()

install(FILES "${PROJECT_SOURCE_DIR}/completion/kestrin.bash"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME kestrin)
