#!/usr/bin/env bash
# Makes the Wine prefix that every end-to-end test of this run copies: a fresh prefix
# with a virtual desktop, so that windows get their frames and captions drawn by Wine
# and keyboard focus works without a window manager.
set -euo pipefail
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
: "${KORVALEN_E2E_TEMPLATE:?}"
rm -rf "$KORVALEN_E2E_TEMPLATE"
mkdir -p "$(dirname "$KORVALEN_E2E_TEMPLATE")"
export WINEPREFIX=$KORVALEN_E2E_TEMPLATE

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"

"$WINE" wineboot -i >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null
"$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 800x600 /f \
    >/dev/null
# Wine draws the caption buttons with the Marlett font; Debian's Wine does not find it
# in its data folder, and the buttons show as the letters "0 1 r". In the prefix's Fonts
# folder it is found.
marlett=/usr/share/wine/fonts/marlett.ttf
if [ -f "$marlett" ]; then
    cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
fi
# No COM port leads anywhere until a test maps one to a simulated reader (map_port in
# lib.sh): otherwise Wine would give the program whatever serial devices the machine
# happens to have.
for n in 1 2 3 4 5 6 7 8 9; do
    "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "/dev/korvalen-no-port-$n" /f \
        >/dev/null
done
# Everything written to disk before the copies are made. The desktop setting takes
# effect with the next wineserver, which each test starts in its own copy.
"$WINESERVER" -w
test -f "$WINEPREFIX/system.reg"
echo "template prefix ready: $WINEPREFIX"
