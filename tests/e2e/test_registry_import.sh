#!/usr/bin/env bash
# Settings of an old installation under HKEY_LOCAL_MACHINE are taken over once into
# Korvalen.ini, replacing an existing file, and the old key is deleted.
source "$(dirname "$0")/lib.sh"
e2e_begin registry_import

key='HKLM\Software\Ombrath\Korvalen'
# A Wine process now and then ends at its start without running (see driver in lib.sh):
# a value that did not come about is written again.
reg_add() {
    local attempt
    for attempt in 1 2 3; do
        "$WINE" reg add "$key" /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1 && return 0
        echo "note: reg add $1 failed (try $attempt)" >&2
    done
    fail "cannot write $1 into the registry"
}
reg_add InboxDir 'D:\Выгрузка\'
reg_add InFile 'C:\Flash\dump.trc'
reg_add GloabalID 1234
reg_add COM 4
reg_add ResetAlarm 0
reg_add Use2D 1
reg_add Use3D 1
reg_add UseGloabalID yes
write_ini COM2 MultiStart0 MinTray1
# The program must see the key as written: wineserver saves and restarts.
"$WINESERVER" -w

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"
expect "status part 0" "$(driver status 0)" "Состояние COM-порта: (COM4, 115200)"

expected() {
    printf '%s\r\n' UseGlobalID0 GlobalID1234 COM4 'InFileC:\Flash\dump.trc' \
        'InboxDirD:\Выгрузка\' Use2D1 MultiStart1 MinTray0 IndInNum0 IndInStatus0 IndInChk0 |
        iconv -f UTF-8 -t CP1251
}
cmp <(expected) "$PROGRAM_DIR/Korvalen.ini" || {
    iconv -f CP1251 -t UTF-8 "$PROGRAM_DIR/Korvalen.ini" >&2
    fail "Korvalen.ini does not hold the imported settings"
}
echo "ok: Korvalen.ini holds the imported settings"
if "$WINE" reg query "$key" >/dev/null 2>&1; then
    fail "the old key is still there"
fi
echo "ok: the old key is gone"
