#!/usr/bin/env bash
# Installs a built tree into WORK_DIR/prefix (emptied first), component by
# component, and checks what
# the install gives a user before any consumer is built:
#   - with the runtime and development components alone, find_package(CSSupport)
#     refuses, naming the package that provides the missing host runtime;
#   - with the hostrt component too, the library's needed list and run path
#     (check_library.sh: exactly $ORIGIN, so it finds the stand-in beside it);
#   - pkg-config --libs gives the library's directory to -L and to
#     -rpath-link, so a consumer's link resolves the library's host runtime.
# Prints the installed library's path. scripts/check-install goes on from here
# with consumers built and run.
# Usage: check_installed.sh BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
prefix=$2/prefix
probe=$2/find-package-probe
rm -rf "$prefix" "$probe"
fail() { echo "check_installed: $*" >&2; exit 1; }

for component in runtime development; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
# lib/ (lib64/ on some systems), or the multiarch directory lib/<triplet>/
# where the build's prefix was /usr (the release preset).
lib=
for candidate in "$prefix"/lib*/libcssupport.so.1 "$prefix"/lib/*/libcssupport.so.1; do
  [ -e "$candidate" ] && { lib=$candidate; break; }
done
[ -n "$lib" ] || fail "no libcssupport.so.1 under $prefix/lib*"
libdir=$(dirname "$lib")

# A project without languages finds libraries by their file names only when
# told how those are formed.
mkdir -p "$probe"
cat >"$probe/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(probe LANGUAGES NONE)
set(CMAKE_FIND_LIBRARY_PREFIXES lib)
set(CMAKE_FIND_LIBRARY_SUFFIXES .so)
find_package(CSSupport REQUIRED)
CMAKE
reason="Reason given by package: libcssupport.so needs the host runtime libtessellibs.so, which was found neither beside it nor in the system paths; install the host runtime, or the stand-in: the hostrt component, Debian package libcssupport-hostrt-standin"
if out=$(cmake -S "$probe" -B "$probe/build" -DCMAKE_PREFIX_PATH="$prefix" 2>&1); then
  fail "find_package(CSSupport) accepted an install without the host runtime"
fi
[[ "$(tr -s ' \n' '  ' <<<"$out")" == *"$reason "* ]] ||
  fail "find_package(CSSupport) without the host runtime said:"$'\n'"$out"

cmake --install "$build" --prefix "$prefix" --component hostrt >/dev/null
"$here/check_library.sh" needed "$lib"
"$here/check_library.sh" runpath "$lib" "$(cd "$build" && pwd)"

pcdir=$libdir/pkgconfig
pc_libdir=$(PKG_CONFIG_PATH=$pcdir pkg-config --variable=libdir cssupport)
[ "$(cd "$pc_libdir" && pwd -P)" = "$(cd "$libdir" && pwd -P)" ] ||
  fail "cssupport.pc's libdir $pc_libdir is not $libdir"
libs=$(PKG_CONFIG_PATH=$pcdir pkg-config --libs cssupport)
expected="-L$pc_libdir -Wl,-rpath-link,$pc_libdir -lcssupport"
[ "${libs% }" = "$expected" ] ||
  fail "pkg-config --libs cssupport gives '$libs', expected '$expected'"
echo "$lib"
