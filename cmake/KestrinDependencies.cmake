# All dependencies come from the system's packages (scripts/install-deps.sh).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gobject-2.0)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
find_package(ICU REQUIRED COMPONENTS uc i18n data)
find_package(SQLite3 REQUIRED)
find_package(Boost REQUIRED COMPONENTS filesystem thread)
find_package(nlohmann_json 3 REQUIRED)
find_package(Threads REQUIRED)
# KAKASI reads Japanese for ASCII file names. It has no pkg-config file; its
# dictionaries lie in share/kakasi beside the library's prefix.
find_path(KAKASI_INCLUDE_DIR libkakasi.h REQUIRED)
find_library(KAKASI_LIBRARY kakasi REQUIRED)
get_filename_component(_kakasi_libdir "${KAKASI_LIBRARY}" DIRECTORY)
foreach(_dict kanwadict itaijidict)
  string(TOUPPER "${_dict}" _DICT)
  find_file(KAKASI_${_DICT} ${_dict} REQUIRED
    HINTS "${_kakasi_libdir}/../share/kakasi" "${_kakasi_libdir}/../../share/kakasi"
    PATH_SUFFIXES share/kakasi)
endforeach()
add_library(Kakasi::Kakasi UNKNOWN IMPORTED)
set_target_properties(Kakasi::Kakasi PROPERTIES
  IMPORTED_LOCATION "${KAKASI_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${KAKASI_INCLUDE_DIR}")
find_package(nlohmann_json 3.10 REQUIRED)
if(KESTRIN_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()
find_program(ZSTD_EXECUTABLE zstd REQUIRED)

# Real Apple Mail message files kept beside the repository.
set(KESTRIN_SAMPLES_DIR "${PROJECT_SOURCE_DIR}/../shared/samples/apple-mail" CACHE PATH
    "Folder of real Apple Mail sample files used by some tests")
