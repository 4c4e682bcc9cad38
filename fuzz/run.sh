#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (library objects instrumented too)
# and runs the event record file target for SECONDS, seeded with the JSON
# parsing corpus that sits beside the repository.
#
#   fuzz/run.sh SECONDS
#
# Environment: FUZZ_BUILD_DIR (default build/fuzz, relative to the repo),
# FUZZ_JOBS (build parallelism, default 2). Exits 77 (skipped), saying why,
# when clang is missing or cannot link a sanitizer+fuzzer program (its
# runtimes come with libclang-rt-14-dev); non-zero when the build fails or
# the fuzzer finds a failing input (saved under $FUZZ_BUILD_DIR/artifacts/).
set -euo pipefail

if [[ $# -ne 1 || ! "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS" >&2
  exit 2
fi
seconds=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-build/fuzz}
[[ $build == /* ]] || build=$repo/$build

if ! command -v clang++ >/dev/null || ! command -v clang >/dev/null; then
  echo "fuzz/run.sh: skipped: clang is not installed" >&2
  exit 77
fi
probe=$(mktemp -d)
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
  'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' \
  >"$probe/probe.cc"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/probe.cc" \
    -o "$probe/probe" >"$probe/log" 2>&1; then
  echo "fuzz/run.sh: skipped: clang cannot link a sanitizer+fuzzer program:" \
    "$(grep -m 1 -E 'error|cannot' "$probe/log")" >&2
  rm -rf "$probe"
  exit 77
fi
rm -rf "$probe"

# Every sanitizer report is fatal, except pointer-overflow, which stays
# recoverable so that ubsan.supp can silence RapidJSON 1.1's internal stack
# (it adds to a null pointer before its first allocation); any other
# pointer-overflow report still halts through halt_on_error.
# -Wno-error=varargs: LogErrCode's fixed signature starts its argument list
# after an enumeration parameter, which clang (unlike gcc) warns about.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
flags+=" -fsanitize-recover=pointer-overflow -fno-omit-frame-pointer"
flags+=" -Wno-error=varargs"
cmake -S "$repo" -B "$build" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCSSUPPORT_BUILD_FUZZ=ON -DCSSUPPORT_BUILD_TESTS=OFF \
  -DCSSUPPORT_BUILD_BENCH=OFF -DCSSUPPORT_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}" --target event_file_fuzz >/dev/null

# New inputs go to a corpus of our own; the shared seeds are only read.
corpus=$build/corpus/event_file
artifacts=$build/artifacts/
mkdir -p "$corpus" "$artifacts"
seeds=()
if [[ -d $repo/../shared/corpora/json-parsing ]]; then
  seeds+=("$repo/../shared/corpora/json-parsing")
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1:suppressions=$repo/fuzz/ubsan.supp}
exec "$build/fuzz/event_file_fuzz" \
  -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$artifacts" \
  "$corpus" "${seeds[@]}"
