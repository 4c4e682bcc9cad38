#!/usr/bin/env bash
# Builds the library again with CSSUPPORT_PORTABLE_FAST_PATHS=ON, where
# internal/fast_paths.h selects its portable twins, checks that it did, and
# runs the emission tests against it: the twins must compose the same lines.
# The check: the portable emission object calls libstdc++'s tree increment
# (the twin of the context walk), and FAST_OBJECT, the same object in a build
# with the fast paths, when given, does not.
# Usage: check_portable_build.sh SOURCE_DIR WORK_DIR [FAST_OBJECT]
set -euo pipefail
src=$1
work=$2
fast=${3:-}
rm -rf "$work"
mkdir -p "$work"
cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCSSUPPORT_PORTABLE_FAST_PATHS=ON -DCSSUPPORT_BUILD_TESTS=ON \
  -DCSSUPPORT_BUILD_BENCH=OFF -DCSSUPPORT_BUILD_TOOLS=OFF \
  -DCSSUPPORT_BUILD_DOCS=OFF -DCSSUPPORT_TEST_CONFIGURATIONS=OFF \
  >"$work/configure.log"
cmake --build "$work/build" --target logger_emit_test logger_threads_test \
  -j2 >"$work/build.log"

increment=_ZSt18_Rb_tree_incrementPKSt18_Rb_tree_node_base
object=$(find "$work/build" -path '*cssupport_objects.dir*' -name 'emit.cc.o')
if ! nm -u "$object" | grep -qx " *U $increment"; then
  echo "portable build: $object does not walk the context with ++" >&2
  exit 1
fi
if [ -n "$fast" ] && nm -u "$fast" | grep -qx " *U $increment"; then
  echo "fast build: $fast walks the context with ++" >&2
  exit 1
fi
ctest --test-dir "$work/build" -R '^Logger(Emit|Threads)\.' \
  --output-on-failure --no-tests=error -j2
