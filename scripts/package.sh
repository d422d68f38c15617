#!/usr/bin/env bash
# Builds the Debian package build/ro-vezovad_<version>_amd64.deb (or into
# $VEZOVAD_BUILD_DIR): installs what is missing, builds, and runs CPack's DEB
# generator. Install it with: apt install ./build/ro-vezovad_*.deb
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VEZOVAD_BUILD_DIR:-$root/build}"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$build"
cpack -G DEB -B "$build" >cpack.log || { cat cpack.log >&2; exit 1; }
ls "$build"/ro-vezovad_*_amd64.deb
