#!/usr/bin/env bash
# Completes command lines with the kestrin completion and compares the
# offers with what each position takes.
#   completion_test.sh COMPLETION_FILE SCRATCH_DIR
# bash-completion itself is not written for nounset.
set -o pipefail
completion="$1"
scratch="$2"
for library in /usr/share/bash-completion/bash_completion /etc/bash_completion; do
  if [ -f "$library" ]; then
    # shellcheck disable=SC1090
    source "$library"
    break
  fi
done
declare -F _init_completion >/dev/null || { echo "FAIL: bash-completion is not installed" >&2; exit 1; }
# shellcheck disable=SC1090
source "$completion"

mkdir -p "$scratch/outdir" "$scratch/Mail copy"
touch "$scratch/outfile"
cd "$scratch" || exit 1

# Offers for a command line whose last word is being completed, sorted.
offers() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _kestrin kestrin "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

status=0
expect() {
  local name="$1" want="$2"
  shift 2
  local got
  got="$(offers "$@")"
  if [ "$got" != "$want" ]; then
    echo "FAIL: $name: offered \"$got\", expected \"$want\"" >&2
    status=1
  fi
}

expect "commands" "--help --version convert help list " kestrin ""
expect "command prefix" "convert " kestrin co
expect "targets" "archive eml maildir mbox " kestrin convert --to ""
expect "target prefix" "maildir mbox " kestrin convert /src --to m
expect "name styles" "ascii unicode " kestrin convert --names ""
expect "convert options" "--folder --help --json --keep-bytes --names --no-progress --out --skip-empty --to --verify " kestrin convert --
expect "list options" "--help --json " kestrin list --
expect "output folders only" "outdir " kestrin convert --to eml --out out
expect "source folders only" "Mail copy outdir " kestrin list ""
expect "commands after help" "convert list " kestrin help ""
exit $status
