# Fails when a source file includes a header of an area above its own
# (cmake/KestrinLayers.cmake), reaches out of its folder with "../", or
# includes a Qt header outside gui/: the logic must build and run without a
# window toolkit, and each area only on the areas below it. The include paths
# enforce the same when compiling; this names every offending line at once.
#   cmake -DSOURCE_DIR=<top of the sources> -P CheckLayerIncludes.cmake
cmake_minimum_required(VERSION 3.25)
include("${SOURCE_DIR}/cmake/KestrinLayers.cmake")

set(offenders "")
set(count 0)
foreach(area IN LISTS KESTRIN_LAYER_AREAS)
  kestrin_layer_source_dir(${area} folder)
  kestrin_layer_allowed(${area} allowed)
  file(GLOB_RECURSE sources
    "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp" "${SOURCE_DIR}/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    math(EXPR count "${count} + 1")
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*).*$" "\\1" header "${line}")
      set(why "")
      if(header MATCHES "^([A-Za-z_]+)/" AND CMAKE_MATCH_1 IN_LIST KESTRIN_LAYER_AREAS
         AND NOT CMAKE_MATCH_1 STREQUAL area AND NOT CMAKE_MATCH_1 IN_LIST allowed)
        set(why "${CMAKE_MATCH_1} is not below ${area}")
      elseif(header MATCHES "(^|/)\\.\\./")
        set(why "leaves the area's folder")
      elseif(NOT area STREQUAL "gui" AND header MATCHES "^(Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*$|q[a-z]+\\.h$)")
        set(why "Qt outside gui/")
      endif()
      if(why)
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
        list(APPEND offenders "${shown}: ${header} (${why})")
      endif()
    endforeach()
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n" text)
  message(FATAL_ERROR "Includes that break the layers:\n${text}")
endif()
message(STATUS "${count} files include only their own area and those below it")
