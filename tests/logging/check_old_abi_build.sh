#!/usr/bin/env bash
# Builds the library again with the old std::string ABI
# (-D_GLIBCXX_USE_CXX11_ABI=0), where a short string lives in a heap block
# sized to it, under AddressSanitizer, and runs old_abi_emit.cc against it:
# composing a line must read no byte outside such a block, and the lines must
# come out as with the new ABI.
# Usage: check_old_abi_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail
src=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
flags="-D_GLIBCXX_USE_CXX11_ABI=0 -fsanitize=address -fno-omit-frame-pointer"
cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCSSUPPORT_BUILD_TESTS=OFF -DCSSUPPORT_BUILD_BENCH=OFF \
  -DCSSUPPORT_BUILD_TOOLS=OFF "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_C_FLAGS=$flags" -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=address \
  >"$work/configure.log"
cmake --build "$work/build" --target cssupport -j2 >"$work/build.log"
# shellcheck disable=SC2086
g++ -std=c++17 $flags -Wall -Wextra -Werror -I"$src" \
  -I"$work/build/generated" "$src/tests/logging/old_abi_emit.cc" \
  -L"$work/build" -lcssupport -Wl,-rpath,"$work/build" \
  -Wl,-rpath,"$work/build/hostrt/standin" -o "$work/emit"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 "$work/emit"
