# The areas of the program from the ground up, each with the areas directly
# below it that it builds on. Code includes another area's header as
# "area/Header.h"; an area's include path holds itself and, through the
# libraries it links, the areas below it, so an include of a higher area does
# not compile. Read by the build and by the layering tests (tests/Check*.cmake).
set(KESTRIN_LAYER_AREAS streams mime assets formats export applemail archive app cli gui)
set(KESTRIN_LAYER_BELOW_streams "")
set(KESTRIN_LAYER_BELOW_mime streams)
set(KESTRIN_LAYER_BELOW_assets mime)
set(KESTRIN_LAYER_BELOW_formats assets)
# The export driver works on any store; the Apple Mail reader and the archive
# writer are only plugged into it from above.
set(KESTRIN_LAYER_BELOW_export formats)
set(KESTRIN_LAYER_BELOW_applemail formats)
# The archive package is an output store provider of the export driver.
set(KESTRIN_LAYER_BELOW_archive export formats)
set(KESTRIN_LAYER_BELOW_app applemail archive export)
set(KESTRIN_LAYER_BELOW_cli app)
set(KESTRIN_LAYER_BELOW_gui app)

# kestrin_layer_allowed(<area> <out-var>): every area <area> may include
# besides itself, directly or through the areas below it.
function(kestrin_layer_allowed area out)
  set(allowed "")
  set(pending ${KESTRIN_LAYER_BELOW_${area}})
  while(pending)
    list(POP_FRONT pending next)
    if(NOT next IN_LIST allowed)
      list(APPEND allowed ${next})
      list(APPEND pending ${KESTRIN_LAYER_BELOW_${next}})
    endif()
  endwhile()
  set(${out} ${allowed} PARENT_SCOPE)
endfunction()

# kestrin_layer_source_dir(<area> <out-var>): the area's folder, relative to
# the top of the sources.
function(kestrin_layer_source_dir area out)
  if(area MATCHES "^(app|cli|gui)$")
    set(${out} "${area}" PARENT_SCOPE)
  else()
    set(${out} "engine/${area}" PARENT_SCOPE)
  endif()
endfunction()

# kestrin_layer_include(<target>): gives <target>, the library of the calling
# folder's area, that area's include folder: a folder in the build tree whose
# only entry, named after the area, links to the area's sources. Called after
# the target's links are set: a link to an area that is not below this one
# stops the configuration.
function(kestrin_layer_include target)
  get_filename_component(area "${CMAKE_CURRENT_SOURCE_DIR}" NAME)
  if(NOT area IN_LIST KESTRIN_LAYER_AREAS)
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR} is no area of KESTRIN_LAYER_AREAS")
  endif()
  kestrin_layer_allowed(${area} allowed)
  get_target_property(links ${target} LINK_LIBRARIES)
  get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links interface_links)
    if(link MATCHES "^kestrin_(.+)$" AND CMAKE_MATCH_1 IN_LIST KESTRIN_LAYER_AREAS
       AND NOT CMAKE_MATCH_1 IN_LIST allowed)
      message(FATAL_ERROR "${target} (${area}) links ${link}, which is not below it; "
                          "${area} builds on: ${allowed}")
    endif()
  endforeach()

  set(root "${PROJECT_BINARY_DIR}/layers/${area}")
  file(MAKE_DIRECTORY "${root}")
  file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}" "${root}/${area}" SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
