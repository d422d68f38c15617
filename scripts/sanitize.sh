#!/usr/bin/env bash
# Builds the tests with a sanitizer into their own folder and runs them under
# a virtual X server.
#   scripts/sanitize.sh address [GROUP...] [CTEST ARGS...]
#   scripts/sanitize.sh thread  [GROUP...] [CTEST ARGS...]
# address: AddressSanitizer + UndefinedBehaviorSanitizer, stopping at the first
#   finding, into build-asan/. Groups: core, device, widgets, monkey (default
#   all). Leaks are checked in core and device tests and in the emulator and
#   converter they start; the widget tests and the monkey run without leak
#   checking (Qt, Mesa and VTK keep memory until exit). The monkey group is
#   monkey.random_hands; with VEZOVAD_MONKEY_SECONDS=N it runs gx_monkey for
#   N seconds instead (seed VEZOVAD_MONKEY_SEED, default 1), in a folder of
#   its own under build-asan/monkey-runs.
# thread: ThreadSanitizer into build-tsan/. Groups: device (all device tests),
#   stream (the main window's stream tests, label widgets.stream), link (its
#   link tests, label widgets.link); default all.
# Groups can also come from VEZOVAD_SANITIZE_GROUPS ("core device"). Only the
# test programs the groups need are built. Other arguments go to ctest.
# The build type is RelWithDebInfo at -O1; VEZOVAD_SANITIZE_BUILD_DIR and
# VEZOVAD_JOBS override the folder and the build jobs.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
supp="$root/scripts/sanitizers"
kind="${1:-}"
case "$kind" in
  address) build="${VEZOVAD_SANITIZE_BUILD_DIR:-$root/build-asan}"
           flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
           all_groups="core device widgets monkey" ;;
  thread)  build="${VEZOVAD_SANITIZE_BUILD_DIR:-$root/build-tsan}"
           flags="-fsanitize=thread -fno-omit-frame-pointer"
           all_groups="device stream link" ;;
  *) echo "usage: $0 address|thread [GROUP...] [CTEST ARGS...]" >&2; exit 2 ;;
esac
shift
groups=()
while [ $# -gt 0 ] && [[ " $all_groups " == *" $1 "* ]]; do groups+=("$1"); shift; done
if [ ${#groups[@]} -eq 0 ]; then read -r -a groups <<<"${VEZOVAD_SANITIZE_GROUPS:-$all_groups}"; fi

# Ninja targets and ctest labels of each group, leak-checked or not.
targets=()
long_monkey=0
plain=()   # labels run with leak checking (programs without a GUI)
gui=()     # labels run without it
for g in "${groups[@]}"; do
  [[ " $all_groups " == *" $g "* ]] || { echo "sanitize: no group '$g' for $kind (have: $all_groups)" >&2; exit 2; }
  case "$kind/$g" in
    address/core)    targets+=(test_core);    plain+=('core') ;;
    address/device)  targets+=(test_device);  plain+=('device') ;;
    address/widgets) targets+=(test_widgets); gui+=('widgets(\..*)?') ;;
    address/monkey)  targets+=(gx_monkey)
                     if [ -z "${VEZOVAD_MONKEY_SECONDS:-}" ]; then gui+=('monkey'); else long_monkey=1; fi ;;
    thread/device)   targets+=(test_device);  plain+=('device') ;;
    thread/stream)   targets+=(test_widgets); gui+=('widgets\.stream') ;;
    thread/link)     targets+=(test_widgets); gui+=('widgets\.link') ;;
  esac
done
mapfile -t targets < <(printf '%s\n' "${targets[@]}" gx_emulator gx_convert | sort -u)

source "$root/scripts/ccache-env.sh"
# The icon generator runs during the build: it is checked like any program.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0:suppressions=$supp/asan.supp"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$supp/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp/tsan.supp"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g -DNDEBUG" \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" \
    -DVEZOVAD_BUILD_BENCH=OFF
fi
start=$(date +%s)
cmake --build "$build" -j "${VEZOVAD_JOBS:-$(nproc)}" --target "${targets[@]}"
built=$(date +%s)
echo "sanitize: built ${targets[*]} in $((built - start)) s"

join() { local IFS='|'; echo "$*"; }
# Every report, of a test or of a program it started (emulator, converter),
# goes to a file of its own; any file there fails the pass.
logs="$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
ASAN_OPTIONS+=":log_path=$logs/asan"
UBSAN_OPTIONS+=":log_path=$logs/ubsan"
TSAN_OPTIONS+=":log_path=$logs/tsan"
status=0
cd "$build"
if [ ${#plain[@]} -gt 0 ]; then
  "$root/scripts/xvfb.sh" --screen 1280x1024x24 ctest --output-on-failure -j "${VEZOVAD_TEST_JOBS:-2}" \
    -L "^($(join "${plain[@]}"))$" "$@" || status=$?
fi
if [ ${#gui[@]} -gt 0 ]; then
  ASAN_OPTIONS="${ASAN_OPTIONS/detect_leaks=1/detect_leaks=0}" \
  "$root/scripts/xvfb.sh" --screen 1280x1024x24 ctest --output-on-failure -j "${VEZOVAD_TEST_JOBS:-2}" \
    -L "^($(join "${gui[@]}"))$" "$@" || status=$?
fi
if [ "$long_monkey" = 1 ]; then
  # Started in an empty folder, so that its watch on the working folder sees
  # only what the viewer writes.
  run="$build/monkey-runs/$(date +%Y%m%d-%H%M%S)"
  mkdir -p "$run"
  (cd "$run" && ASAN_OPTIONS="${ASAN_OPTIONS/detect_leaks=1/detect_leaks=0}" QT_QPA_PLATFORM=xcb \
    "$root/scripts/xvfb.sh" --screen 1280x1024x24 "$build/monkey/gx_monkey" \
      --seconds "$VEZOVAD_MONKEY_SECONDS" --seed "${VEZOVAD_MONKEY_SEED:-1}") || status=$?
fi
reports=("$logs"/*)
if [ -e "${reports[0]}" ]; then
  for r in "${reports[@]}"; do echo "==== sanitize: report $r"; cat "$r"; done
  echo "sanitize: ${#reports[@]} sanitizer report(s) in $logs" >&2
  status=1
fi
echo "sanitize: $kind pass over ${groups[*]}: built in $((built - start)) s, tests in $(( $(date +%s) - built )) s, status $status"
exit "$status"
