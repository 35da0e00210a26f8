#!/bin/bash
# make demo: a sample installation of build 46957, an installer carrying the patches to 48249
# and 50001, and a run of that installer, checked against the final build's tree. With a
# display (DISPLAY or WAYLAND_DISPLAY) the run opens the installer's window, showing the
# release notes shipped beside this script; without one it is the console installer. Then the
# patched installation is damaged and repaired on the console from our repair server on loopback.
set -euo pipefail
BUILD_DIR="${1:-build}"
DEMO="$BUILD_DIR/demo"
PYTHON=/usr/bin/python3
RELEASE_NOTES="file://$(realpath scripts/demo_release_notes.html)"

cmake --build "$BUILD_DIR" -j "$(nproc)" --target InstallPatchCLI zephpack orbpatch zephrepaird \
    >/dev/null
gui_option=()
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  # The target list is read after the build above, which has refreshed the build system.
  targets=$(cmake --build "$BUILD_DIR" --target help)
  if grep -qx '\.\.\. InstallPatchGUI' <<<"$targets"; then
    cmake --build "$BUILD_DIR" -j "$(nproc)" --target InstallPatchGUI >/dev/null
    gui_option=(--gui)
  else
    echo "== This build has no InstallPatchGUI yet: the console installer runs instead"
  fi
fi
echo "== Making the sample installation and the installer with two embedded patches"
"$PYTHON" scripts/sample_installation.py make "$BUILD_DIR" "$DEMO" "${gui_option[@]}" \
    --release-notes "$RELEASE_NOTES"
echo "   installation: $(find "$DEMO/install" -type f | wc -l) files in $DEMO/install"
"$BUILD_DIR/tools/zephpack/zephpack" list "$DEMO/InstallPatchCLI"

installer="$DEMO/InstallPatchCLI"
if [ ${#gui_option[@]} -gt 0 ]; then
  installer="$DEMO/InstallPatchGUI"
  echo "== Running the installer's window: press \"Apply Update\", then \"Exit\" once it has finished"
else
  echo "== Running the installer"
fi
status=0
ORVIK_REGISTRY_ROOT="$(realpath "$DEMO/registry")" TEMP="$(realpath "$DEMO/temp")" \
    "$installer" || status=$?
echo "== Installer exit status: $status"

echo "== Comparing the installation with build 50001"
"$PYTHON" scripts/sample_installation.py compare "$DEMO/install" "$DEMO/trees/50001"
[ "$status" -eq 0 ] || exit "$status"

echo "== Damaging the installation: a changed file, a lost folder, a stray file"
rm -rf "$DEMO/reference"
cp -a "$DEMO/install" "$DEMO/reference"
printf 'damaged' | dd of="$DEMO/install/bin/Velmor.exe" bs=1 seek=1000 conv=notrunc status=none
rm -rf "$DEMO/install/docs"
echo stray >"$DEMO/install/stray.tmp"

echo "== Serving the undamaged copy with zephrepaird on loopback"
"$BUILD_DIR/tools/zephrepaird/zephrepaird" --root="$DEMO/reference" --listen=127.0.0.1:0 --quiet \
    >"$DEMO/zephrepaird.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
port=""
for _ in $(seq 100); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$DEMO/zephrepaird.log")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { echo "zephrepaird did not start" >&2; exit 1; }

echo "== Running the installer in repair mode against it (diagnostics in $DEMO/repair.log)"
status=0
ORVIK_REGISTRY_ROOT="$(realpath "$DEMO/registry")" TEMP="$(realpath "$DEMO/temp")" \
    "$DEMO/InstallPatchCLI" --repair --repair-server="127.0.0.1:$port" \
    --log="$DEMO/repair.log" || status=$?
echo "== Installer exit status: $status"

echo "== Comparing the repaired installation with the undamaged copy"
"$PYTHON" scripts/sample_installation.py compare "$DEMO/install" "$DEMO/reference"
exit "$status"
