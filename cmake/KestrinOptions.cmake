# Warnings and sanitizers live on one interface target that every Kestrin
# target links, so third-party code is never built with our flags.
add_library(kestrin_options INTERFACE)
add_library(Kestrin::options ALIAS kestrin_options)
target_compile_options(kestrin_options INTERFACE
  -Wall -Wextra -Wpedantic -Wno-unused-parameter -Wno-deprecated-declarations)

if(KESTRIN_SANITIZE)
  target_compile_options(kestrin_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(kestrin_options INTERFACE -fsanitize=address,undefined)
endif()

# kestrin_add_library(<name> <sources...> LINKS <targets...>)
function(kestrin_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS} PRIVATE kestrin_options)
endfunction()

# kestrin_add_test(<name> SOURCES <files...> LINKS <targets...>)
function(kestrin_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} kestrin_test_support GTest::gtest GTest::gmock kestrin_options)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TZ=UTC;LANG=C.UTF-8;KESTRIN_SOURCE_DIR=${PROJECT_SOURCE_DIR};KESTRIN_SAMPLES_DIR=${KESTRIN_SAMPLES_DIR}")
endfunction()
