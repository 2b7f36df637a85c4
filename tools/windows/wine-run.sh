#!/usr/bin/env bash
# Runs a Windows program under wine64: the emulator of the Windows cross
# builds (CTest calls it with the program and its arguments).
#   tools/windows/wine-run.sh PROGRAM.exe [ARGS...]
# WINEPREFIX must name the prefix to use; tools/windows/wine-prefix.sh makes
# one. DISPLAY must name an X server (Xvfb) for the display tests.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX is not set (tools/windows/wine-prefix.sh makes a prefix)}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps its loader out of PATH.
PATH=$PATH:/usr/lib/wine
exec wine64 "$@"
