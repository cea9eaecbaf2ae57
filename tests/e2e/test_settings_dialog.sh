#!/usr/bin/env bash
# The settings dialog as an operator uses it: the values it starts with, the ID edit's
# refusals, the ignition and tray choices, both folder choosers, the 2D question
# answered No (everything stays in the dialog) and then Yes, the file it saves byte for
# byte; "Отмена" changes nothing; the ID kept when its box is unchecked; and the next
# read writes its dump and its routes into the folders picked.
source "$(dirname "$0")/lib.sh"
e2e_begin settings_dialog

start_sim reader --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
mkdir -p "$PROGRAM_DIR/Out" "$PROGRAM_DIR/Dumps"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

dialog='Настройки'
ini=$PROGRAM_DIR/Korvalen.ini
value() { driver dialog-text "$dialog" "$1"; }
checked() { driver dialog-checked "$dialog" "$1"; }
enabled() { driver dialog-enabled "$dialog" "$1"; }

driver command 32772
expect "InBox" "$(value 1002)" 'C:\Korvalen\InBox\'
expect "dump file" "$(value 1004)" 'C:\Korvalen\Data\Korvalen.trc'
expect "ID" "$(value 1009)" 9999
expect "ID box" "$(checked 1007)" 0
expect "ID greyed with its box" "$(enabled 1009)" 0
expect "ignition lists greyed" "$(enabled 1015)$(enabled 1016)" 00
expect "inputs" "$(driver dialog-list "$dialog" 1015 | tr '\n' ' ')" "*IN1 IN2 IN3 "
expect "states" "$(driver dialog-list "$dialog" 1016 | tr '\n' ' ')" "*Разомкнут Замкнут "
expect "flags" "$(checked 1006)$(checked 1012)$(checked 1013)" 010
expect "hidden boxes" "$(driver dialog-visible "$dialog" 1000)$(driver dialog-visible "$dialog" 1008)$(driver dialog-visible "$dialog" 1010)" 000

# The ID: 0 is refused when the edit is left and the old one comes back; an empty edit
# is no integer.
driver dialog-click "$dialog" 1007
expect "ID usable with its box" "$(enabled 1009)" 1
driver dialog-focus "$dialog" 1009
driver dialog-type "$dialog" 1009 0
driver keys 9  # Tab
driver answer "Нельзя ставить ID = 0" 1 >/dev/null || fail "ID 0 was taken"
expect "ID restored" "$(value 1009)" 9999
driver dialog-focus "$dialog" 1009
driver dialog-type "$dialog" 1009 ""
driver keys 9
driver answer "Please enter an integer." 1 >/dev/null || fail "an empty ID was taken"
driver dialog-type "$dialog" 1009 42

driver dialog-click "$dialog" 1014
expect "ignition lists usable" "$(enabled 1015)$(enabled 1016)" 11
driver dialog-select "$dialog" 1015 2
driver dialog-select "$dialog" 1016 1
driver dialog-click "$dialog" 1013
driver dialog-click "$dialog" 1006

# The folder choosers start at the current folders.
driver dialog-click "$dialog" 1001
driver folder-browser "Укажите папку InBox для Mervane..." "../Out" || fail "no InBox folder picked"
expect "InBox picked" "$(value 1002)" 'C:\Korvalen\Out\'
driver dialog-click "$dialog" 1003
driver folder-browser "Укажите папку для временного файла..." "../Dumps" || fail "no dump folder picked"
expect "dump folder picked" "$(value 1004)" 'C:\Korvalen\Dumps\Korvalen.trc'
screenshot settings

# 2D: No keeps the dialog open with every change; Yes saves.
cp "$ini" "$E2E_WORK/ini-before"
driver dialog-click "$dialog" 1
driver answer "Отчеты, вычисленные в 2D режиме, имеют пониженную точность!" 7 >/dev/null ||
    fail "no 2D question"
expect "still open" "$(value 1002)$(value 1009)$(checked 1006)" 'C:\Korvalen\Out\421'
cmp -s "$ini" "$E2E_WORK/ini-before" || fail "the file changed before Сохранить was confirmed"
driver dialog-click "$dialog" 1
driver answer "Отчеты, вычисленные в 2D режиме" 6 >/dev/null || fail "no 2D question"
driver dialog-gone "$dialog" || fail "the dialog stays after Yes"
printf '%s\r\n' UseGlobalID1 GlobalID42 COM1 'InFileC:\Korvalen\Dumps\Korvalen.trc' \
    'InboxDirC:\Korvalen\Out\' Use2D1 MultiStart1 MinTray1 IndInNum2 IndInStatus1 IndInChk1 \
    >"$E2E_WORK/ini-expected"
cmp "$ini" "$E2E_WORK/ini-expected" || fail "settings file: $(od -c "$ini" | head -20)"

# Отмена: nothing changes. Then the ID box unchecked: the ID stays in the file.
driver command 32772
driver dialog-click "$dialog" 1007
driver dialog-click "$dialog" 1006
driver dialog-click "$dialog" 2
driver dialog-gone "$dialog" || fail "the dialog stays after Отмена"
cmp "$ini" "$E2E_WORK/ini-expected" || fail "Отмена changed the file"
driver command 32772
expect "as saved" "$(checked 1007)$(value 1009)$(checked 1006)$(checked 1013)" 14211
driver dialog-click "$dialog" 1007
driver dialog-click "$dialog" 1006
expect "ID greyed again" "$(enabled 1009)" 0
driver dialog-click "$dialog" 1
driver dialog-gone "$dialog" || fail "the dialog stays"
expect "ID box off" "$(sed -n 1p "$ini" | tr -d '\r')" UseGlobalID0
expect "ID kept" "$(sed -n 2p "$ini" | tr -d '\r')" GlobalID42

# The next read: its dump in the folder picked, its routes in the InBox picked.
driver click 1004
wait_sim_log "ack " 20
list=$(wait_summaries 1)
expect "dump line" "$(sed -n 2p <<<"$list")" "В файле 'C:\\Korvalen\\Dumps\\Korvalen.trc'"
[ -s "$PROGRAM_DIR/Dumps/Korvalen.trc" ] || fail "no dump in the folder picked"
# (Data keeps the journal, the read log and the archive, wherever the dumps go.)
[ -z "$(ls "$PROGRAM_DIR/Data/"*.trc 2>/dev/null)" ] || fail "a dump in the old folder"
[ -n "$(ls "$PROGRAM_DIR/Out")" ] || fail "no routes in the InBox picked"
[ -z "$(ls "$PROGRAM_DIR/InBox")" ] || fail "routes in the old InBox"
driver close
driver wait-gone || fail "the window does not close"
