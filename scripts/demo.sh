#!/bin/bash
# make demo: a sample installation of build 46957, an installer carrying the patches to 48249
# and 50001, and a console run of that installer, checked against the final build's tree.
set -euo pipefail
BUILD_DIR="${1:-build}"
DEMO="$BUILD_DIR/demo"
PYTHON=/usr/bin/python3

cmake --build "$BUILD_DIR" -j "$(nproc)" --target InstallPatchCLI zephpack orbpatch >/dev/null
echo "== Making the sample installation and the installer with two embedded patches"
"$PYTHON" scripts/sample_installation.py make "$BUILD_DIR" "$DEMO"
echo "   installation: $(find "$DEMO/install" -type f | wc -l) files in $DEMO/install"
"$BUILD_DIR/tools/zephpack/zephpack" list "$DEMO/InstallPatchCLI"

echo "== Running the installer"
status=0
ORVIK_REGISTRY_ROOT="$(realpath "$DEMO/registry")" TEMP="$(realpath "$DEMO/temp")" \
    "$DEMO/InstallPatchCLI" || status=$?
echo "== Installer exit status: $status"

echo "== Comparing the installation with build 50001"
"$PYTHON" scripts/sample_installation.py compare "$DEMO/install" "$DEMO/trees/50001"
exit "$status"
