#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under a virtual X
# server (widget tests use Qt's offscreen platform, render tests the X server).
# The last lines printed are ctest's summary.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VEZOVAD_BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$build"
# Our own server rather than xvfb-run, whose clean-up failures (exit status 5)
# would replace ctest's status and leave the server running.
exec "$root/scripts/xvfb.sh" --screen 1280x1024x24 ctest --output-on-failure -j "${VEZOVAD_TEST_JOBS:-2}" "$@"
