#!/usr/bin/env bash
# The installer and the uninstaller, silent (/S), as a user would run them: the program
# goes into the user's own programs folder with a Start-menu shortcut and an entry in
# "Programs and Features", starts from the shortcut and makes its settings and folders
# beside itself. While it runs, neither the installer nor the uninstaller touches it.
# The uninstaller removes the program, its shortcut and its entry and keeps the user's
# Korvalen.ini, Data and InBox. The zip holds the same program.
source "$(dirname "$0")/lib.sh"
: "${KORVALEN_SETUP:?}" "${KORVALEN_ZIP:?}"
docs=$(cd "$(dirname "$0")/../.." && pwd)
e2e_begin install

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvalen'
# reg_value NAME: a value of the uninstall entry, empty when there is none.
reg_value() {
    "$WINE" reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}
unix_path() {  # a path under C:\ of the prefix
    local path=${1#C:\\}
    printf '%s\n' "$WINEPREFIX/drive_c/${path//\\//}"
}

status=0
timeout 60 "$WINE" "$KORVALEN_SETUP" /S || status=$?
expect "exit status of the installer" "$status" 0

folder_win=$(reg_value InstallLocation)
in_programs='^C:\\users\\([^\\]+)\\AppData\\Local\\Programs\\Korvalen$'
[[ $folder_win =~ $in_programs ]] ||
    fail "not installed into the user's programs folder: '$folder_win'"
user=${BASH_REMATCH[1]}
echo "ok: installed into $folder_win"
expect "entry's name" "$(reg_value DisplayName)" "Korvalen"
expect "entry's version" "$(reg_value DisplayVersion)" "1.4"
expect "entry's uninstaller" "$(reg_value UninstallString)" "\"$folder_win\\Uninstall.exe\""
expect "entry's quiet uninstaller" "$(reg_value QuietUninstallString)" \
    "\"$folder_win\\Uninstall.exe\" /S"

folder=$(unix_path "$folder_win")
expect "installed files" "$(ls "$folder" | tr '\n' ' ')" \
    "Korvalen.exe README.txt Uninstall.exe guide-ru.txt "
cmp -s "$KORVALEN_EXE" "$folder/Korvalen.exe" || fail "Korvalen.exe differs from the build's"
cmp -s "$docs/docs/guide-ru.md" "$folder/guide-ru.txt" || fail "the guide differs"
shortcut_win="C:\\users\\$user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Korvalen.lnk"
shortcut=$(unix_path "$shortcut_win")
[ -f "$shortcut" ] || fail "no shortcut in the Start menu"
echo "ok: the shortcut is in the Start menu"

# Started as the Start menu starts it; "start /wait" ends with the program.
("$WINE" start /wait "$shortcut_win") >"$RESULTS/program.log" 2>&1 &
PROGRAM_PID=$!
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window of the installed program"
screenshot installed
[ -f "$folder/Korvalen.ini" ] && [ -d "$folder/Data" ] && [ -d "$folder/InBox" ] ||
    fail "no Korvalen.ini, Data and InBox beside the installed program"
echo "ok: the installed program made Korvalen.ini, Data and InBox beside itself"

# "_?=" keeps the uninstaller in place, so that its exit status is its own.
status=0
"$WINE" "$folder_win\\Uninstall.exe" /S "_?=$folder_win" || status=$?
expect "the uninstaller refuses while the program runs" "$status" 2
status=0
timeout 60 "$WINE" "$KORVALEN_SETUP" /S || status=$?
expect "the installer refuses while the program runs" "$status" 2
[ -f "$folder/Korvalen.exe" ] && [ -n "$(reg_value DisplayName)" ] ||
    fail "the refusals changed the installation"

driver close
wait_exit "$PROGRAM_PID" 15 "the installed program to end"
echo "ok: closed"
printf 'kept\r\n' >"$folder/InBox/07143005.012"
cp "$folder/Korvalen.ini" "$E2E_WORK/ini-before"

# The uninstaller copies itself away and returns at once; the copy does the work.
"$WINE" "$folder_win\\Uninstall.exe" /S
wait_until 20 "the uninstaller to remove the program, its shortcut and its entry" \
    '[ ! -e "$folder/Uninstall.exe" ] && [ ! -e "$folder/Korvalen.exe" ] && [ ! -e "$shortcut" ] &&
    [ -z "$(reg_value DisplayName)" ]'
echo "ok: the program, its uninstaller, its shortcut and its entry are gone"
# Data keeps the session and journal locks of the program that ran (the journal's own
# files, which a later program takes over).
expect "what the uninstaller left" "$(cd "$folder" && find . | sort | tr '\n' ' ')" \
    ". ./Data ./Data/Korvalen-1.lck ./Data/Korvalen.jnl.lock ./InBox ./InBox/07143005.012 ./Korvalen.ini "
cmp -s "$E2E_WORK/ini-before" "$folder/Korvalen.ini" || fail "Korvalen.ini changed"
echo "ok: Korvalen.ini, Data and InBox kept as they were"

mkdir "$E2E_WORK/zip"
(cd "$E2E_WORK/zip" && cmake -E tar xf "$KORVALEN_ZIP")
expect "the zip" "$(cd "$E2E_WORK/zip" && find . -type f | sort | tr '\n' ' ')" \
    "./Korvalen/Korvalen.exe ./Korvalen/README.txt ./Korvalen/guide-ru.txt "
cmp -s "$KORVALEN_EXE" "$E2E_WORK/zip/Korvalen/Korvalen.exe" || fail "the zip's program differs"
echo "ok: the zip holds the program"
