# Set-up shared by the scripts that build and run Kestrin: sourced, not run.
# Moves to the top of the checkout and defines
#   here   the checkout's top folder
#   jobs   how many compile jobs to run at once
#   fail   prints "<script>: <text>" on standard error and exits 1
#   step   prints a heading for the next step
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"

jobs="$(nproc 2>/dev/null || echo 2)"

fail() { printf '%s: %s\n' "$(basename "$0" .sh)" "$*" >&2; exit 1; }
step() { printf '\n==> %s\n' "$*"; }
