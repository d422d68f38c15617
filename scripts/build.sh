#!/usr/bin/env bash
# Configures and builds everything into build/ (or $VEZOVAD_BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VEZOVAD_BUILD_DIR:-$root/build}"
source "$root/scripts/ccache-env.sh"
jobs="${VEZOVAD_JOBS:-$(nproc)}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
fi
cmake --build "$build" -j "$jobs"
