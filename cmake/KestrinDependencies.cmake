# All dependencies come from the system's packages (scripts/install-deps.sh).
find_package(PkgConfig REQUIRED)
pkg_check_modules(GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0 gobject-2.0)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
find_package(ICU REQUIRED COMPONENTS uc i18n data)
find_package(SQLite3 REQUIRED)
find_package(CURL REQUIRED)
find_package(Boost REQUIRED COMPONENTS filesystem thread)
find_package(nlohmann_json 3 REQUIRED)
find_package(Threads REQUIRED)
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
