# Sourced by the scripts beside it; not run on its own.
#
# jobs: how many compile and test processes a script runs at once, for make,
# ctest, gcovr and clang-tidy alike: CSSUPPORT_JOBS when set, else one per
# core (nproc).
# shellcheck shell=bash
jobs=${CSSUPPORT_JOBS:-$(nproc)}
if [[ ! $jobs =~ ^[1-9][0-9]*$ ]]; then
  echo "CSSUPPORT_JOBS must be a positive whole number, not '$jobs'" >&2
  exit 2
fi
