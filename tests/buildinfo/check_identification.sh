#!/usr/bin/env bash
# The build identification's configure-time checks, by running
# cmake/BuildIdentification.cmake as a script: each bad value refused with its
# exact message, and a valid configuration away from the defaults accepted.
# Usage: check_identification.sh SOURCE_DIR WORK_DIR
set -euo pipefail
module=$1/cmake/BuildIdentification.cmake
work=$2
rm -rf "$work"
mkdir -p "$work"

# verdict SETTING...: "accepted", or the module's error message on one line.
verdict() {
  local settings=() setting out
  for setting in "$@"; do settings+=("-D$setting"); done
  if out=$(cmake -DPROJECT_BINARY_DIR="$work" "${settings[@]}" -P "$module" 2>&1); then
    echo accepted
  else
    printf '%s\n' "$out" | sed '0,/(message):$/d' | tr -s ' \n' '  ' |
      sed 's/^ //; s/ $//'
  fi
}

status=0
# Settings (space-separated) | the verdict.
while IFS='|' read -r settings expected; do
  read -r -a words <<<"$settings"
  got=$(verdict "${words[@]}")
  if [ "$got" != "$expected" ]; then
    printf '%s:\n  got:      %s\n  expected: %s\n' "$settings" "$got" "$expected" >&2
    status=1
  fi
done <<'TABLE'
CSSUPPORT_BUILD_NUMBER=0123|CSSUPPORT_BUILD_NUMBER must be a decimal number without leading zeros, not '0123'
CSSUPPORT_BUILD_NUMBER=2147483648|CSSUPPORT_BUILD_NUMBER must fit a signed 32-bit integer
CSSUPPORT_RELEASE_VERSION=1.0.1|CSSUPPORT_RELEASE_VERSION must look like 1.0, not '1.0.1'
CSSUPPORT_SIBLING_VERSIONS=gA=1;gB=1;gC=1;gD=1;gE=1;gF=1;gG=1|CSSUPPORT_SIBLING_VERSIONS must name exactly six records, got 7
CSSUPPORT_SIBLING_VERSIONS=gA=1;gB=1;gC=1;gD=1;gA=2;gF=1|CSSUPPORT_SIBLING_VERSIONS names a record twice
CSSUPPORT_BUILD_NUMBER=2147483647 CSSUPPORT_RELEASE_VERSION=10.20 CSSUPPORT_SIBLING_VERSIONS=gA=0;gB=1.2;gC=1.2.3;gD=1.2.3.4;gE=5;gF=6|accepted
TABLE
exit $status
