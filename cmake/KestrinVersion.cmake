# The version is the project's (project() in the top-level CMakeLists.txt):
# programs include "KestrinVersion.h" through the kestrin_version target, so
# the command, the window and the package never disagree.
# The window finds the guides it opens where the install rules put them.
include(GNUInstallDirs)
set(KESTRIN_GUIDES_INSTALL_DIR "${CMAKE_INSTALL_DATADIR}/kestrin/guides")
configure_file("${CMAKE_CURRENT_LIST_DIR}/KestrinVersion.h.in"
               "${PROJECT_BINARY_DIR}/generated/KestrinVersion.h" @ONLY)
add_library(kestrin_version INTERFACE)
target_include_directories(kestrin_version INTERFACE "${PROJECT_BINARY_DIR}/generated")
