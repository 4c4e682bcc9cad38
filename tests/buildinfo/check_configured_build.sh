#!/usr/bin/env bash
# Builds the library with a non-default build configuration (build number 0,
# product version 2.5.1, sibling records of other names, some of version 0)
# and checks, from a C program that links it, that every configured record is
# exported and sits in initialised data (.data, nm type D) whatever its value,
# and that the release version defaults to the product version's major.minor.
# (check_identification.sh tests the values the configuration refuses.)
# Usage: check_configured_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
siblings="gAltAgentVersion=0;gAltCliVersion=0.0.0;gToolImportVersion=2.3;gToolExportVersion=4.5.6.7;gXUpgradeVersion=1;gXValidateVersion=0.0.0.0"
cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCSSUPPORT_BUILD_TESTS=OFF -DCSSUPPORT_BUILD_BENCH=OFF \
  -DCSSUPPORT_BUILD_TOOLS=OFF -DCSSUPPORT_BUILD_NUMBER=0 \
  -DCSSUPPORT_PRODUCT_VERSION=2.5.1 \
  "-DCSSUPPORT_SIBLING_VERSIONS=$siblings" >"$work/configure.log"
cmake --build "$work/build" --target cssupport -j2 >"$work/build.log"

cat >"$work/reader.c" <<'C'
#include <stdio.h>
#include "cssupport/buildinfo/build_info.h"
#define PRINT(name) \
  printf("%s %d.%d.%d.%d\n", #name, name.part[0], name.part[1], \
         name.part[2], name.part[3]);
int main(void) {
  CSSUPPORT_SIBLING_VERSIONS(PRINT)
  printf("gBuildNumberNumeric %d\n", gBuildNumberNumeric);
  return 0;
}
C
cc -std=c11 -Wall -Werror -I"$src" -I"$work/build/generated" \
  "$work/reader.c" -L"$work/build" -lcssupport \
  -Wl,-rpath,"$work/build" -Wl,-rpath-link,"$work/build/hostrt/standin" \
  -o "$work/reader"
got=$("$work/reader")
expected="gAltAgentVersion 0.0.0.0
gAltCliVersion 0.0.0.0
gToolImportVersion 2.3.0.0
gToolExportVersion 4.5.6.7
gXUpgradeVersion 1.0.0.0
gXValidateVersion 0.0.0.0
gBuildNumberNumeric 0"
if [ "$got" != "$expected" ]; then
  printf 'reader printed:\n%s\nexpected:\n%s\n' "$got" "$expected" >&2
  exit 1
fi

status=0
if ! grep -q '^#define CSSUPPORT_RELEASE_VERSION "2.5"$' \
  "$work/build/generated/cssupport/buildinfo/internal/release_version.h"; then
  echo "release version is not 2.5, the product version's major.minor" >&2
  status=1
fi
for name in gAltAgentVersion gAltCliVersion gToolImportVersion \
  gToolExportVersion gXUpgradeVersion gXValidateVersion gBuildNumberNumeric; do
  type=$(nm -D --defined-only "$work/build/libcssupport.so" |
    awk -v n="$name" '$3 == n { print $2 }')
  if [ "$type" != D ]; then
    echo "$name: nm type '${type:-missing}', expected D (initialised data)" >&2
    status=1
  fi
done
exit $status
