#!/usr/bin/env bash
# Makes a wine prefix for the Windows programs, if it does not exist yet:
#   tools/windows/wine-prefix.sh PREFIX_DIR
# DirectDraw is told to draw with GDI: with the OpenGL renderer frames come
# out black on most runs under Xvfb. DISPLAY must name an X server.
set -euo pipefail
prefix=$(realpath -m "${1:?usage: tools/windows/wine-prefix.sh PREFIX_DIR}")
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Debian's wine64 package keeps its loader out of PATH.
PATH=$PATH:/usr/lib/wine
if [[ ! -e "$prefix/.spanwright-ready" ]]; then
    mkdir -p "$prefix"
    wine64 wineboot -i >/dev/null 2>&1
    wine64 reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d gdi /f >/dev/null
    wineserver -w
    touch "$prefix/.spanwright-ready"
fi
