#!/usr/bin/env bash
# Runs a Windows console program under Wine in a throw-away prefix and passes on its exit
# status. No display is needed: the program opens no window.
set -euo pipefail
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
prefix=$(mktemp -d /tmp/korvalen-wine.XXXXXX)
cleanup() {
    WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
    WINEPREFIX="$prefix" timeout 20 "$wineserver" -w 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$wine" "$@"
