#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the GX sensor
# emulator on 127.0.0.1 with a free port and the viewer connected to it.
# Closing the viewer stops the emulator, and so does this script's end in any
# way (the emulator watches its parent). Extra arguments go to the viewer.
# Without a display the viewer runs on a virtual screen for
# VEZOVAD_RUN_SECONDS (default 10) and prints its frame counters.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VEZOVAD_BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

state="${XDG_STATE_HOME:-$HOME/.local/state}/ro_vezovad"
mkdir -p "$state"
portfile="$(mktemp)"
"$build/emulator/gx_emulator" --address 127.0.0.1 --port 0 --state "$state/gx_emulator.state" \
  --parent-pid $$ >"$portfile" 2>&1 &
emu=$!
cleanup() { kill "$emu" 2>/dev/null || true; wait "$emu" 2>/dev/null || true; rm -f "$portfile"; }
trap cleanup EXIT
port=""
for _ in $(seq 1 100); do
  port="$(head -n 1 "$portfile" | grep -oE '[0-9]+$' || true)"
  [ -n "$port" ] && break
  kill -0 "$emu" 2>/dev/null || { cat "$portfile"; echo "run: the emulator did not start" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "run: the emulator did not report its port" >&2; exit 1; }
echo "run: GX emulator listening on 127.0.0.1:$port"

viewer=("$build/ro_vezovad" --device "127.0.0.1:$port" --local "127.0.0.1:0" --connect "$@")
if [ -n "${DISPLAY:-}" ]; then
  "${viewer[@]}"
else
  # Nobody can see or close a window on a virtual screen: the viewer runs for
  # a while (VEZOVAD_RUN_SECONDS, default 10, unless --quit-after is given)
  # and prints its frame counters at the end.
  case " $* " in
    *" --quit-after "*|*" --quit-after="*) ;;
    *) viewer+=(--quit-after "${VEZOVAD_RUN_SECONDS:-10}" --print-stats) ;;
  esac
  echo "run: no DISPLAY; running the viewer on a virtual screen until it quits (${viewer[*]:1})"
  "$root/scripts/xvfb.sh" --screen 1600x1000x24 "${viewer[@]}"
fi
