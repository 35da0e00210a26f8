#!/bin/sh
# wine-run.sh PREFIX PROGRAM ARGS...: runs a Windows program under Wine in the Wine prefix
# PREFIX (one per build tree, made on first use). Wine's own diagnostics stay off unless the
# caller asks for them, so that the program's output is all that tests see.
prefix=$(realpath -m "$1")
shift
: "${WINEDEBUG:=-all}"
export WINEDEBUG
WINEPREFIX=${WINEPREFIX:-$prefix}
export WINEPREFIX
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  # Parallel tests share the prefix: one of them makes it, the others wait.
  flock "$WINEPREFIX/.init" sh -c '[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1'
fi
exec wine "$@"
