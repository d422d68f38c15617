#!/usr/bin/env bash
# Runs a command under a private virtual X server and exits with the command's
# own status. The server picks a free display itself, runs with -noreset (no
# reset when the last client leaves) and is stopped and reaped before this
# script exits, whatever the command did; nothing is printed after the
# command's own output.
#   scripts/xvfb.sh [--screen WIDTHxHEIGHTxDEPTH] COMMAND [ARGS...]
set -uo pipefail
screen="1280x1024x24"
if [ "${1:-}" = "--screen" ]; then
  screen="$2"
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--screen WxHxD] COMMAND [ARGS...]" >&2
  exit 2
fi
display_file="$(mktemp)"
server_log="$(mktemp)"
Xvfb -displayfd 3 -screen 0 "$screen" -noreset -nolisten tcp 3>"$display_file" >"$server_log" 2>&1 &
server=$!
stop_server() {
  if kill -0 "$server" 2>/dev/null; then
    kill "$server" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$server" 2>/dev/null
  fi
  wait "$server" 2>/dev/null
  rm -f "$display_file" "$server_log"
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
display=""
for _ in $(seq 1 100); do
  display="$(head -n 1 "$display_file" 2>/dev/null | tr -dc '0-9')"
  [ -n "$display" ] && break
  if ! kill -0 "$server" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$display" ]; then
  echo "xvfb: the virtual X server did not start" >&2
  cat "$server_log" >&2
  exit 1
fi
status=0
DISPLAY=":$display" "$@" || status=$?
stop_server
trap - EXIT
exit "$status"
