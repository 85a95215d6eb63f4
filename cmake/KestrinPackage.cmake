# The Debian package: `cpack -G DEB` in a build folder (scripts/package.sh
# does it all, with Debian's hardening flags). The package's dependencies are computed by dpkg-shlibdeps
# from the shared libraries the installed programs link, so they follow the
# build machine's libraries rather than a hand-kept list.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrin)
set(CPACK_PACKAGE_VENDOR "Kestrin")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Kestrin developers <kestrin@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "gets your mail out of Apple Mail into EML, mbox or an Outlook archive")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Kestrin reads the data folder Apple Mail keeps (~/Library/Mail, or a copy of\n"
    "it from a backup), older mail folders and mailboxes exported from Apple\n"
    "Mail, shows the accounts and folders with their message counts, and copies\n"
    "the chosen folders, hierarchy mirrored, into .eml files, mbox files or an\n"
    "archive package that Outlook for Mac imports. Every export writes a\n"
    "detailed conversion report. Apple Mail's data is only ever read.")
# The packaged files go where the programs look for them at run time, so
# the package takes the install prefix; a system package wants /usr.
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "The Debian package installs below ${CMAKE_INSTALL_PREFIX}; "
                 "configure with -DCMAKE_INSTALL_PREFIX=/usr for a system package "
                 "(scripts/package.sh does)")
endif()
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion")
if(TARGET kestrin-gui)
  # Loaded as plugins, so dpkg-shlibdeps does not see them: the window's
  # icons are SVG, and without a platform plugin the window cannot open.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
endif()

include(CPack)
