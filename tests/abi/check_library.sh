#!/usr/bin/env bash
# Checks the binary interface of a built libcssupport.so:
#   symbols  LIB LIST  - the demangled dynamic symbols it defines are exactly
#                        the lines of LIST (shows the difference otherwise)
#   needed   LIB       - its SONAME, and that it needs the host runtime by name
#                        and otherwise only the C and C++ runtimes
#   runpath  LIB [BUILD] - its run path is exactly $ORIGIN (the host runtime
#                        found beside it when nothing else says where), and
#                        so never into the build tree BUILD
set -euo pipefail
mode=$1 lib=$2

exported() {
  nm -D --defined-only "$lib" | c++filt | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }' |
    LC_ALL=C sort -u
}

case "$mode" in
  symbols)
    list=$3
    if ! diff -u --label "expected ($list)" --label "exported by $lib" \
         <(grep -v '^#' "$list" | LC_ALL=C sort -u) <(exported); then
      echo "The library's exported symbols differ from $list (- lost, + new)." >&2
      echo "If the change is intended, regenerate the list with: scripts/abi-update" >&2
      exit 1
    fi
    ;;
  needed)
    soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "libcssupport.so.1" ] || { echo "SONAME is '$soname'" >&2; exit 1; }
    # Sanitizer runtimes of the instrumented builds are not part of the
    # interface, and the dynamic loader (needed for __tls_get_addr by the
    # thread-local context in some builds) is part of the C runtime.
    needed=$(readelf -d "$lib" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
               grep -v -E '^(lib(a|ub|t)san\.so|ld-linux)' | LC_ALL=C sort)
    expected=$(printf "%s\n" libc.so.6 libgcc_s.so.1 libm.so.6 libstdc++.so.6 \
                 libtessellibs.so libtvl.so | LC_ALL=C sort)
    if [ "$needed" != "$expected" ]; then
      diff -u <(echo "$expected") <(echo "$needed") >&2 || true
      echo "needed libraries differ from the host runtime plus C/C++ runtimes" >&2
      exit 1
    fi
    ;;
  runpath)
    build=${3:-}
    paths=$(readelf -d "$lib" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
    if [ -n "$build" ] && [[ "$paths" == *"$build"* ]]; then
      echo "run path '$paths' points into the build tree $build" >&2
      exit 1
    fi
    if [ "$paths" != "\$ORIGIN" ]; then
      echo "run path is '$paths', not \$ORIGIN" >&2
      exit 1
    fi
    ;;
  *) echo "usage: $0 symbols|needed|runpath LIB [ARG]" >&2; exit 2 ;;
esac
