#!/usr/bin/env bash
# Start-up of the installer's window against a minimal wxWidgets frame with a web view built the
# same way (gui_reference_window): the time from process start until the X server maps the
# window, taken from outside by gui_window_start_time under an Xvfb of our own on a free display.
# Both load the same local release-notes page. The installer runs twice over: given the sample
# installation on its command line (nothing to apply: the target, within 1.2x of the reference),
# and as the standalone installer carrying two patches, whose start also checks its embedded
# patches with the product's utility (for information). Runs alternate between the programs,
# after one unmeasured warm-up run each; prints the medians and the ratios.
#
# Usage: run.sh BUILD_DIR [TITLE]
#   TITLE: the start of the installer window's title (default "Orvik Patcher ").
#   RUNS=N: measured runs per program (default 9).
# The installer side is skipped with a message while the build has no InstallPatchGUI target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build_dir=$(realpath "${1:?usage: run.sh BUILD_DIR [TITLE]}")
title=${2:-"Orvik Patcher "}
runs=${RUNS:-9}
timeout_ms=30000
reference_title="GUI bench reference"

cmake --build "$build_dir" --target gui_reference_window gui_window_start_time >/dev/null
timer="$build_dir/bench/gui/gui_window_start_time"
reference="$build_dir/bench/gui/gui_reference_window"
installer="$build_dir/app/gui/InstallPatchGUI"
# The target list is read after the build above, which has refreshed the build system.
targets=$(cmake --build "$build_dir" --target help)
with_installer=0
if grep -qx '\.\.\. InstallPatchGUI' <<<"$targets"; then
  cmake --build "$build_dir" --target InstallPatchGUI InstallPatchCLI zephpack orbpatch >/dev/null
  with_installer=1
else
  echo "gui bench: this build has no InstallPatchGUI target yet; timing the reference window only"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_gui.XXXXXX")
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$work/display" ] || { echo "gui bench: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
unset WAYLAND_DISPLAY
# The web view's caches and settings stay in the work folder, not in the user's home.
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
# No session bus: without these the toolkit, its accessibility bridge and the web view each try
# to autolaunch one (a dbus-daemon per run where dbus-launch is installed).
export DBUS_SESSION_BUS_ADDRESS=disabled: NO_AT_BRIDGE=1
notes="file://$source_dir/scripts/demo_release_notes.html"

if [ "$with_installer" = 1 ]; then
  /usr/bin/python3 "$source_dir/scripts/sample_installation.py" make "$build_dir" "$work/sample" \
    --files 30 --gui --release-notes "$notes" >/dev/null
fi

# time_window TITLE PROGRAM ARGUMENTS...: milliseconds until the window is mapped.
time_window() {
  "$timer" "$1" "$timeout_ms" "${@:2}"
}
time_reference() {
  time_window "$reference_title" "$reference" "$reference_title" "$notes"
}
time_installer() {
  ORVIK_REGISTRY_ROOT="$work/sample/registry" TEMP="$work/sample/temp" \
    time_window "$title" "$installer" "$work/sample/install"
}
time_standalone() {
  ORVIK_REGISTRY_ROOT="$work/sample/registry" TEMP="$work/sample/temp" \
    time_window "$title" "$work/sample/InstallPatchGUI"
}
median() {
  sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

programs=(reference)
[ "$with_installer" = 0 ] || programs+=(installer standalone)
for program in "${programs[@]}"; do "time_$program" >/dev/null; done
for _ in $(seq "$runs"); do
  for program in "${programs[@]}"; do "time_$program" >>"$work/$program.ms"; done
done

reference_ms=$(median <"$work/reference.ms")
echo "reference frame with web view: median ${reference_ms} ms to the window shown ($runs runs)"
if [ "$with_installer" = 1 ]; then
  installer_ms=$(median <"$work/installer.ms")
  standalone_ms=$(median <"$work/standalone.ms")
  echo "InstallPatchGUI INSTALLATION:  median ${installer_ms} ms to the window shown ($runs runs)"
  echo "standalone InstallPatchGUI:    median ${standalone_ms} ms to the window shown ($runs runs)"
  awk -v a="$installer_ms" -v s="$standalone_ms" -v b="$reference_ms" 'BEGIN {
    printf "ratio InstallPatchGUI/reference: %.2f (target <= 1.20)\n", a / b
    printf "ratio standalone/reference: %.2f (for information)\n", s / b
  }'
fi
