# Warnings and sanitizers live on one interface target that every Kestrin
# target links, so third-party code is never built with our flags.
add_library(kestrin_options INTERFACE)
add_library(Kestrin::options ALIAS kestrin_options)
target_compile_options(kestrin_options INTERFACE
  -Wall -Wextra -Wpedantic -Wno-unused-parameter -Wno-deprecated-declarations
  -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2 -Werror=format-security)

# CI turns warnings into errors (scripts/test.sh under CI, scripts/clang-build.sh)
# so that the code stays warning-free with both compilers.
option(KESTRIN_WERROR "Treat compiler warnings as errors" OFF)
if(KESTRIN_WERROR)
  # Case tables leave trailing fields to their defaults on purpose.
  target_compile_options(kestrin_options INTERFACE -Werror -Wno-missing-field-initializers)
endif()

if(KESTRIN_SANITIZE)
  target_compile_options(kestrin_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kestrin_options INTERFACE -fsanitize=address,undefined)
endif()

# kestrin_area_library(<name> LINKS <targets...>): a static library of every
# .cpp file in the calling folder (header-only while there is none).
function(kestrin_area_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE kestrin_options)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LINKS})
  endif()
  kestrin_layer_include(${name})
endfunction()

# kestrin_area_tests(<name> LINKS <targets...>): one test binary of every .cpp
# file in the calling folder.
function(kestrin_area_tests name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT sources)
    return()
  endif()
  kestrin_add_test(${name} SOURCES ${sources} LINKS ${ARG_LINKS})
endfunction()

# kestrin_add_test(<name> SOURCES <files...> LINKS <targets...>)
function(kestrin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} kestrin_test_support GTest::gtest GTest::gmock GTest::gtest_main kestrin_options)
  # The environment (TZ, LANG, source and sample folders) is fixed by
  # support/TestEnvironment.cpp inside every binary, so a test behaves the
  # same under ctest, a debugger or a plain run.
  target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/TestEnvironment.cpp)
  target_compile_definitions(${name} PRIVATE
    KESTRIN_SOURCE_DIR_DEFAULT="${PROJECT_SOURCE_DIR}"
    KESTRIN_SAMPLES_DIR_DEFAULT="${KESTRIN_SAMPLES_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
endfunction()

# KESTRIN_FUZZ: every Kestrin target gets libFuzzer's coverage hooks and
# ASan + UBSan (clang only; the fuzz binaries add the libFuzzer main).
if(KESTRIN_FUZZ)
  target_compile_options(kestrin_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
    -fno-sanitize-recover=undefined)
  target_link_options(kestrin_options INTERFACE -fsanitize=address,undefined)
endif()
