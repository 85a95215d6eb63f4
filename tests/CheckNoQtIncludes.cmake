# Fails when a file below engine/ or app/ includes a Qt header: the logic
# must build and run without a window toolkit.
file(GLOB_RECURSE sources
  "${SOURCE_DIR}/engine/*.h" "${SOURCE_DIR}/engine/*.hpp" "${SOURCE_DIR}/engine/*.cpp"
  "${SOURCE_DIR}/app/*.h" "${SOURCE_DIR}/app/*.hpp" "${SOURCE_DIR}/app/*.cpp")
set(offenders "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*[>\"]|q[a-z]+\\.h[>\"])")
  if(lines)
    list(APPEND offenders "${source}: ${lines}")
  endif()
endforeach()
if(offenders)
  list(JOIN offenders "\n" text)
  message(FATAL_ERROR "Qt headers included outside gui/:\n${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files below engine/ and app/ include no Qt header")
