#!/usr/bin/env bash
# Runs the viewer against the emulator for a while and prints what it did:
# CPU use of the viewer, frames the library received and frames the frame
# tick emitted (each emitted frame is drawn by both views).
#   bench/live_viewer.sh [FPS] [SECONDS]      (defaults: 10 FPS, 60 s)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -z "${DISPLAY:-}" ]; then
  exec "$root/scripts/xvfb.sh" --screen 1600x1000x24 "$0" "$@"
fi
build="${VEZOVAD_BUILD_DIR:-$root/build}"
# A benchmark leaves nothing behind: no shader caches in the home directory.
export MESA_SHADER_CACHE_DISABLE=true QT_DISABLE_SHADER_DISK_CACHE=1
fps="${1:-10}"
secs="${2:-60}"
out="$(mktemp)"
state="$(mktemp)"
"$build/emulator/gx_emulator" --address 127.0.0.1 --port 0 --fps "$fps" --max-fps "$(( fps > 25 ? fps : 25 ))" --state "$state" >"$out" 2>&1 &
emu=$!
trap 'kill $emu 2>/dev/null || true; rm -f "$out" "$state"' EXIT
for _ in $(seq 1 50); do grep -qE '[0-9]+$' "$out" && break; sleep 0.1; done
port="$(head -n 1 "$out" | grep -oE '[0-9]+$')"
run() {
  "$build/ro_vezovad" --device "127.0.0.1:$port" --local 127.0.0.1:0 --connect --quit-after "$secs" --print-stats &
  local pid=$!
  sleep 2
  local t0 c0 t1 c1
  t0=$(date +%s.%N); c0=$(awk '{print $14+$15}' /proc/$pid/stat)
  sleep $((secs - 4))
  t1=$(date +%s.%N); c1=$(awk '{print $14+$15}' /proc/$pid/stat)
  local hz; hz=$(getconf CLK_TCK)
  wait $pid
  awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$hz" \
    'BEGIN { printf "viewer CPU: %.1f%% of one core (steady state, %.0f s)\n", 100*(c1-c0)/hz/(t1-t0), t1-t0 }'
}
run 2>&1 | grep -vE 'propagateSizeHints|XDG_RUNTIME_DIR|ShaderCode' || true
echo "emulator at $fps FPS for $secs s"
