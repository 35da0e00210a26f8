#!/bin/bash
# make demo: a sample installation of build 46957, an installer carrying the patches to 48249
# and 50001, and a run of that installer, checked against the final build's tree. With a
# display (DISPLAY or WAYLAND_DISPLAY) the run opens the installer's window, showing the
# release notes shipped beside this script; without one it is the console installer.
set -euo pipefail
BUILD_DIR="${1:-build}"
DEMO="$BUILD_DIR/demo"
PYTHON=/usr/bin/python3
RELEASE_NOTES="file://$(realpath scripts/demo_release_notes.html)"

cmake --build "$BUILD_DIR" -j "$(nproc)" --target InstallPatchCLI zephpack orbpatch >/dev/null
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
exit "$status"
