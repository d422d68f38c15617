#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/standalone: clang++, libFuzzer, ASan and
# UBSan) into build-fuzz/ (or $VEZOVAD_FUZZ_BUILD_DIR) and runs every target
# for SECONDS (default 60) each, or for $VEZOVAD_FUZZ_RUNS inputs each when
# that is set. Each target reads the committed seeds in fuzz/corpus/<target>
# and keeps what it finds in <build dir>/corpus/<target>. Prints the inputs
# run per target; fails when a target finds a crash, leak or time-out (the
# input and the log are then in <build dir>/artifacts/<target>).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VEZOVAD_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]  (a whole number of seconds per target)" >&2; exit 2 ;;
esac
clangxx="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$clangxx" ]; then
  echo "fuzz.sh: no clang++ (install clang-14 and libclang-rt-14-dev)" >&2
  exit 1
fi
runs=()
if [ -n "${VEZOVAD_FUZZ_RUNS:-}" ]; then
  runs=("-DRUNS=$VEZOVAD_FUZZ_RUNS")
fi
exec cmake -DSRC="$root/fuzz" -DBIN="$build" -DCLANGXX="$clangxx" -DSECONDS="$seconds" "${runs[@]}" \
  -P "$root/fuzz/run_fuzzers.cmake"
