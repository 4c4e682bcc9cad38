#!/usr/bin/env bash
# run_case.sh CSTOOL CASE
#
# Runs the cstool case CASE (tests/tools/cases/NAME.sh) and compares its exit
# status, standard output and standard error with NAME.out, which holds
#
#   exit STATUS
#   --- stdout
#   ...what it prints on standard output...
#   --- stderr
#   ...what it prints on standard error...
#
# (a line "\ no newline at end" after a text that does not end with one).
# Prints the unified difference and exits 1 when they differ, 0 when they
# match.
#
# The case runs under sh with standard input /dev/null, in a new empty
# directory removed afterwards, with
#   $t     the command that runs CSTOOL on a 256 KiB stack (the shell's own
#          utilities keep theirs), from a directory of its own;
#   $F     the machine's event record file;
#   $DATA  the tests' data directory (tests/data/, ending with a slash);
#   $CSTOOL_VERSION, $CSTOOL_SANITIZED as the test's environment sets them;
#   skip REASON   ends the case as skipped.
# A line "# needs: WHAT..." among its first five lines asks for
#   mount-namespace  a private mount namespace whose /var/run is an empty
#                    tmpfs holding only the directory of $F;
#   strace           an strace that may trace (ptrace allowed);
# where one cannot be had, the case is skipped. A skipped case exits 77 and
# prints why on its last line.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: run_case.sh CSTOOL CASE" >&2; exit 2; }
# absolute FILE: FILE's absolute path.
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
cstool=$(absolute "$1") case=$(absolute "$2")
expected=${case%.sh}.out
data=$(cd "$(dirname "$0")/../data" && pwd)/
root=$(mktemp -d "${TMPDIR:-/tmp}/cstool-case.XXXXXX")
trap 'rm -rf "$root"' EXIT
mkdir "$root/bin" "$root/work"
printf 'ulimit -s 256 && exec %s "$@"\n' "$cstool" >"$root/bin/t"
cat >"$root/bin/prelude" <<EOF
t='sh $root/bin/t'
F=/var/run/tessel/files/loadStoreErrors.json
DATA=$data
skip() { printf '%s\n' "\$*" >'$root/bin/skipped'; exit 77; }
EOF

skipped() { echo "skipped: $1"; exit 77; }
mount_private='mount -t tmpfs none /var/run && mkdir -p /var/run/tessel/files'
run=(sh -c '. "$0" && . "$1"' "$root/bin/prelude" "$case")
for need in $(sed -n '1,5s/^# needs: //p' "$case"); do
  case $need in
    mount-namespace)
      if ! why=$(unshare -m sh -c "$mount_private" 2>&1); then
        skipped "no private mount namespace: $why"
      fi
      run=(unshare -m sh -c "$mount_private"' || exit; . "$0" && . "$1"'
           "$root/bin/prelude" "$case")
      ;;
    strace)
      strace -f -qq -o /dev/null true >/dev/null 2>&1 ||
        skipped "strace cannot run here (ptrace refused?)"
      ;;
    *) echo "run_case.sh: $case: unknown need '$need'" >&2; exit 2 ;;
  esac
done

status=0
(cd "$root/work" && exec "${run[@]}") >"$root/bin/stdout" 2>"$root/bin/stderr" \
  </dev/null || status=$?
[ ! -e "$root/bin/skipped" ] || skipped "$(cat "$root/bin/skipped")"

# text FILE: FILE's bytes, marked when they do not end with a newline.
text() {
  cat "$1"
  if [ -n "$(tail -c 1 "$1")" ]; then
    printf '\n\\ no newline at end\n'
  fi
}
{
  echo "exit $status"
  echo "--- stdout"
  text "$root/bin/stdout"
  echo "--- stderr"
  text "$root/bin/stderr"
} >"$root/actual"
if ! diff -u --label "$expected" --label "what the case did" "$expected" \
     "$root/actual"; then
  echo "run_case.sh: $(basename "$case" .sh): the case's exit status or output differs (- expected, + actual)"
  exit 1
fi
