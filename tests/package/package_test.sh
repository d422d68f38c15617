#!/usr/bin/env bash
# The Debian package as an operator gets it: scripts/package.sh builds it,
# lintian finds no error, the desktop entry and AppStream data validate, and
# unpacked into a temporary root its programs carry no path of the build or
# source tree, answer --version, make and convert a 20-frame recording on
# 127.0.0.1, its manual pages render without warning, the Python package
# imports, and apt resolves its dependencies.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR VERSION
set -uo pipefail
src=$1 build=$2 version=$3
tmp=$(mktemp -d /tmp/vezovad_package.XXXXXX)
emulator=""
cleanup() { [ -n "$emulator" ] && kill "$emulator" 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export HOME=$tmp/home LC_ALL=C.UTF-8
mkdir -p "$HOME" && cd "$tmp" || exit 1

VEZOVAD_BUILD_DIR=$build bash "$src/scripts/package.sh" >package.log 2>&1 || { cat package.log; fail "scripts/package.sh"; exit 1; }
deb=$build/ro-vezovad_${version}_amd64.deb
[ -f "$deb" ] || { fail "no $deb"; exit 1; }
echo "package: $deb, $(stat -c %s "$deb") bytes"

lintian --no-cfg --fail-on error --info "$deb" >lintian.log 2>&1 || fail "lintian"
grep -E '^[EW]:' lintian.log

root=$tmp/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
desktop=$(desktop-file-validate "$root"/usr/share/applications/*.desktop 2>&1) && [ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml >appstream.log 2>&1 \
  && ! grep -qE '^[IWEP]:' appstream.log || { cat appstream.log; fail "appstreamcli validate"; }

programs="ro_vezovad gx_emulator gx_convert gx_verify gx_bridge"
site=$root/usr/lib/python3/dist-packages
for elf in "$root"/usr/bin/* "$site"/*.so; do
  runpath=$(readelf -d "$elf" | grep -E 'RPATH|RUNPATH')
  [ -z "$runpath" ] || fail "$elf: $runpath"
  ! grep -qaF -e "$src" -e "$build" "$elf" || fail "$elf names $src or $build"
done
for p in $programs; do
  answer=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --version 2>&1)
  [ "$answer" = "$p $version" ] || fail "$p --version: $answer"
  page=$root/usr/share/man/man1/$p.1.gz
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -f "$page" ] && [ -z "$warnings" ] || fail "man page $page: $warnings"
done
answer=$(cd / && PYTHONPATH=$site python3 -c "import vezovad; print(vezovad.__version__, vezovad.__file__)")
[[ "$answer" == "$version $site/"* ]] || fail "import vezovad: $answer"

# A 20-frame recording from the unpacked emulator, converted by the unpacked converter.
coproc EMU { exec "$root/usr/bin/gx_emulator" --address 127.0.0.1 --port 0 --parent-pid $$ 2>emulator.log; }
emulator=$EMU_PID
read -r -t 30 line <&"${EMU[0]}"
port=${line##*:}
PYTHONPATH=$site python3 - "$port" <<'PY' || fail "recording from the emulator on port $port ($line)"
import sys, vezovad
with vezovad.connect("127.0.0.1:" + sys.argv[1], "127.0.0.1:0") as gx:
    gx.record("rec.bin")
    for _ in gx.frames(25, timeout=10): pass
    print("frames recorded:", gx.stop_recording())
PY
"$root/usr/bin/gx_convert" rec.bin out --to 19 >convert.log 2>&1 || { cat convert.log; fail "gx_convert"; }
converted=$(ls out/frame_*.pcd 2>/dev/null | wc -l)
[ "$converted" -eq 20 ] || fail "gx_convert wrote $converted point clouds, not 20"

apt-get install --simulate "$deb" >apt.log 2>&1 || { cat apt.log; fail "apt-get install --simulate"; }
echo "failures: $failures"
[ "$failures" -eq 0 ]
