#!/bin/bash
# The .deb as a user gets it: built by the package target, installed with dpkg, the installed
# programs run (their versions, a short standalone patch made and applied with them, the
# repair server under its systemd unit's command line until SIGTERM), then removed again.
# Needs root and dpkg (CI has both); skipped elsewhere, and on a machine that has the package
# installed already (that installation is someone's, not this test's).
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
BUILD_DIR=$1
SOURCE_DIR=$2
SKIP=77
if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
  echo "skipped: installing a package needs root and dpkg"
  exit $SKIP
fi
if dpkg-query -W -f='${Status}' installpatchgui 2>/dev/null | grep -q 'install ok installed'; then
  echo "skipped: installpatchgui is installed on this machine already"
  exit $SKIP
fi

work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  dpkg -r installpatchgui >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

echo "== make package"
cmake --build "$BUILD_DIR" --target package >"$work/package.log" 2>&1 ||
  { cat "$work/package.log"; fail "the package target"; }
deb=$(ls -t "$BUILD_DIR"/installpatchgui_*.deb | head -n 1)
version=$(dpkg-deb -f "$deb" Version)

echo "== dpkg -i $(basename "$deb")"
dpkg -i "$deb"
for program in InstallPatchGUI InstallPatchCLI zephrepaird orbpatch; do
  [ "$("/usr/bin/$program" --version)" = "$program $version" ] || fail "$program --version"
  zcat "/usr/share/man/man1/$program.1.gz" | grep -q -- '--help' || fail "man page of $program"
done
for file in /usr/bin/zephpack /usr/share/man/man1/zephpack.1.gz \
    /usr/share/applications/installpatchgui.desktop \
    /usr/share/icons/hicolor/48x48/apps/installpatchgui.png \
    /usr/share/icons/hicolor/256x256/apps/installpatchgui.png \
    /usr/share/icons/hicolor/scalable/apps/installpatchgui.svg \
    /usr/lib/systemd/system/zephrepaird.service /usr/share/doc/installpatchgui/README.md; do
  [ -e "$file" ] || fail "missing $file"
done

echo "== a standalone patch, made and applied with the installed programs"
/usr/bin/python3 "$SOURCE_DIR/scripts/sample_installation.py" make - "$work/sample" \
  --installed /usr/bin --files 20 >/dev/null
status=0
ORVIK_REGISTRY_ROOT="$work/sample/registry" TEMP="$work/sample/temp" \
  "$work/sample/InstallPatchCLI" >"$work/patch.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || { cat "$work/patch.log"; fail "the installer ended with $status"; }
/usr/bin/python3 "$SOURCE_DIR/scripts/sample_installation.py" compare "$work/sample/install" \
  "$work/sample/trees/50001" || fail "the installation is not build 50001"

echo "== the repair server as its unit starts it, stopped with SIGTERM"
command=$(sed -n 's/^ExecStart=//p' /usr/lib/systemd/system/zephrepaird.service)
command=${command//'${ZEPHREPAIRD_ROOT}'/$work/sample/trees/50001}
command=${command//'${ZEPHREPAIRD_LISTEN}'/127.0.0.1:0}
# shellcheck disable=SC2086  # the unit's words, as systemd splits them
$command >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 100); do
  grep -q 'listening on 127.0.0.1:' "$work/server.log" && break
  sleep 0.1
done
grep -q 'listening on 127.0.0.1:' "$work/server.log" || { cat "$work/server.log"; fail "zephrepaird"; }
kill -TERM "$server"
status=0
wait "$server" || status=$?
server=""
[ "$status" -eq 0 ] || fail "zephrepaird ended with $status on SIGTERM"

echo "== dpkg -r"
dpkg -r installpatchgui
[ ! -e /usr/bin/InstallPatchCLI ] || fail "still installed after dpkg -r"
echo "package test passed"
