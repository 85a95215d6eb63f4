# Set-up shared by the scripts that build and run Kestrin: sourced, not run.
# Moves to the top of the checkout and defines
#   here       the checkout's top folder
#   jobs       how many compile jobs to run at once
#   fail       prints "<script>: <text>" on standard error and exits 1
#   step       prints a heading for the next step
#   configure  configures a build folder: configure <folder> <cmake arguments...>
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

jobs="$(nproc 2>/dev/null || echo 2)"

fail() { printf '%s: %s\n' "$(basename "$0" .sh)" "$*" >&2; exit 1; }
step() { printf '\n==> %s\n' "$*"; }

# Every build compiles through ccache (scripts/install-deps.sh installs it).
# Paths below the checkout are hashed relative to it, so that another clone
# (a CI run's, say) finds what this one compiled.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$here}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
configure() {
  local folder="$1"
  shift
  command -v ccache >/dev/null || fail "ccache is missing (scripts/install-deps.sh installs it)"
  cmake -S . -B "$folder" -G Ninja \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@"
}

# The Clang build with libFuzzer's hooks, ASan and UBSan on every target:
# scripts/fuzz.sh builds and runs its fuzz targets, scripts/clang-build.sh
# builds the rest of it. configure_fuzz_build <cmake arguments...>
fuzz_build="${KESTRIN_FUZZ_BUILD_DIR:-build-fuzz}"
configure_fuzz_build() {
  configure "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESTRIN_FUZZ=ON "$@"
}
