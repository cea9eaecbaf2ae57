#!/usr/bin/env bash
# Any port the system has: readers on COM9 and on COM12 (above COM9, which opens only by
# its device path) are listed after COM1 to COM6, each with the device the system knows
# behind it and whether it is free; chosen and "Установить", each opens and a read goes
# through, and the program opens COM12 again at its next start.
source "$(dirname "$0")/lib.sh"
e2e_begin any_port

start_sim nine --pace max --size 2000 --all-with-id --start 2026-12-01 --record-every 0
nine_log=$SIM_LOG
map_port COM9 "$SIM_DEVICE"
start_sim twelve --pace max --size 2000 --all-with-id --start 2026-12-01 --record-every 0
twelve_log=$SIM_LOG
map_port COM12 "$SIM_DEVICE"
# COM9 as a USB adapter's driver installs it, with the name the Device Manager shows.
# Wine's own ports have none: COM12 is known only by its kernel device's name.
driver add-port-device COM9 "USB-SERIAL CH340 (COM9)" || fail "cannot add COM9's device"

# COM1, where the program starts, leads to no device in this prefix.
start_program
answer_port_error "Такого порта нет в системе"
driver main-windows 1 >/dev/null || fail "no main window"

port_dialog='Настройка СОМ-порта'  # Cyrillic С, О, М as in the caption
ports_listed() { driver dialog-list "$port_dialog" 1031; }
device_line() { driver dialog-text "$port_dialog" 1032; }
state_line() { driver dialog-text "$port_dialog" 1033; }
# The entry of a port in the list. Wine gives this machine's own serial devices the first
# numbers that its registry leaves free (COM10 and on), so they may stand among the ports.
entry_of() { ports_listed | grep -n -x -E "\*?$1" | cut -d: -f1 | awk '{ print $1 - 1 }'; }

# Wine reports every port of its registry, COM7 and COM8 of the prefix too, whether or not
# a device is there.
driver command 32773
expect "ports" "$(ports_listed | head -n 9 | tr '\n' ' ')" \
    "*COM1 COM2 COM3 COM4 COM5 COM6 COM7 COM8 COM9 "
ports_listed | tr -d '*' | sed 's/^COM//' | sort -c -u -n || fail "ports not in number order"
expect "COM12 listed" "$(ports_listed | grep -c -x COM12)" 1
expect "COM1's device" "$(device_line)" 'Устройство: \Device\Serial0'
expect "COM1's state" "$(state_line)" "Такого порта нет в системе"
driver dialog-select "$port_dialog" 1031 8
expect "COM9's device" "$(device_line)" "Устройство: USB-SERIAL CH340 (COM9)"
expect "COM9's state" "$(state_line)" "Порт свободен"
screenshot port_dialog_com9
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays after Установить"
expect "on COM9" "$(driver status 0)" "Состояние COM-порта: (COM9, 115200)"
expect "ready on COM9" "$(driver status 1)" "Соединение установлено"
expect "COM setting" "$(sed -n 3p "$PROGRAM_DIR/Korvalen.ini" | tr -d '\r')" "COM9"
driver click 1004
SIM_LOG=$nine_log wait_sim_log "ack " 10
wait_summaries 1 >/dev/null

# The port the program holds is not tried.
driver command 32773
expect "COM9 selected" "$(ports_listed | grep '^\*')" "*COM9"
expect "COM9 held here" "$(state_line)" "Порт открыт этой программой"
driver dialog-select "$port_dialog" 1031 "$(entry_of COM12)"
expect "COM12's device" "$(device_line)" 'Устройство: \Device\Serial11'
expect "COM12's state" "$(state_line)" "Порт свободен"
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays after Установить"
expect "on COM12" "$(driver status 0)" "Состояние COM-порта: (COM12, 115200)"
expect "ready on COM12" "$(driver status 1)" "Соединение установлено"
expect "COM setting" "$(sed -n 3p "$PROGRAM_DIR/Korvalen.ini" | tr -d '\r')" "COM12"
driver click 1004
SIM_LOG=$twelve_log wait_sim_log "ack " 10
wait_summaries 2 >/dev/null
expect "COM9's reader heard one read" "$(SIM_LOG=$nine_log sim_count 'command (QND)')" 1
driver close
driver wait-gone || fail "the window does not close"

# The saved COM12 opens at the next start.
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "COM12 at start" "$(driver status 0)" "Состояние COM-порта: (COM12, 115200)"
expect "ready at start" "$(driver status 1)" "Соединение установлено"
driver close
driver wait-gone || fail "the window does not close"
