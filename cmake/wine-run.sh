#!/bin/sh
# Runs a Windows program under Wine for ctest: Wine's own diagnostics stay off unless the
# caller asks for them, so that the program's output is all that tests see.
: "${WINEDEBUG:=-all}"
export WINEDEBUG
exec wine "$@"
