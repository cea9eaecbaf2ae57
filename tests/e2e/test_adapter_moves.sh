#!/usr/bin/env bash
# The reader's adapter, a USB adapter without a serial number of its own, plugged into
# another socket comes back under another COM number, and the program follows it:
# 1. read once on COM3; the adapter moved to COM7 (the old device gone, the same vendor
#    and product under a new instance): the window opens COM7 by itself, says so, saves
#    COM7, and a read goes through;
# 2. the program started while COM7 is missing and the adapter is on COM3: opened at start;
# 3. COM3 another device now and the adapter nowhere: COM3 opens as before, and when the
#    adapter arrives on COM7, the program leaves COM3 for it;
# 4. two identical adapters: no guess, a line names them, the port dialog marks them, and
#    the operator's choice wins and is remembered.
source "$(dirname "$0")/lib.sh"
e2e_begin adapter_moves

readonly USB='USB\VID_1A86&PID_7523'
# A Plug and Play device of the adapter on COMn in the socket SOCKET, as its driver
# installs it; the instance of an adapter without a serial number names the socket.
plug() { driver add-port-device "$1" "USB-SERIAL CH340 ($1)" "$USB\\5&1A2B3C4D&0&$2" \
    "$USB&REV_0263" "$USB" || fail "cannot add the adapter on $1"; }
unplug() { driver remove-port-device "$USB\\5&1A2B3C4D&0&$1" || fail "cannot remove socket $1"; }
# Each COM port leads to a link that stands for its device, there only while plugged in.
for n in 3 5 7 9; do map_port "COM$n" "$E2E_WORK/adapter$n"; done
link() { ln -sfn "$SIM_DEVICE" "$E2E_WORK/adapter$1"; }
reader() { start_sim "$1" --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0; }
ini_line() { sed -n "$1p" "$PROGRAM_DIR/Korvalen.ini" | tr -d '\r'; }
adapter_file() { tr -d '\r' <"$PROGRAM_DIR/Data/Korvalen.adapter"; }
read_once() {
    driver click 1004
    wait_sim_log "ack " 20
    wait_summaries "$1" >/dev/null
}

write_ini UseGlobalID0 GlobalID9999 COM3 'InFileC:\Korvalen\Data\Korvalen.trc' \
    'InboxDirC:\Korvalen\InBox\' Use2D0 MultiStart1 MinTray0 IndInNum0 IndInStatus0 IndInChk0
reader first
link 3
plug COM3 2
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "on COM3" "$(driver status 1)" "Соединение установлено"
read_once 1
wait_until 5 "the adapter remembered" '[ -f "$PROGRAM_DIR/Data/Korvalen.adapter" ]'
expect "the adapter remembered" "$(adapter_file | grep -E '^(Port|InstanceId|Vendor|Product|SerialNumber)=')" \
    "Port=COM3
InstanceId=$USB\\5&1A2B3C4D&0&2
Vendor=1A86
Product=7523
SerialNumber="

# 1. Into another socket: COM3 is gone and the same adapter comes as COM7.
kill -USR2 "$SIM_PID"
wait_until 5 "the port taken as lost" '[ "$(driver status 1)" = "Ошибка соединения!" ]'
unplug 2
reader second
link 7
plug COM7 4
moved_at=$SECONDS
wait_until 6 "COM7 open by itself" '[ "$(driver status 1)" = "Соединение установлено" ]'
echo "ok: open on COM7 $((SECONDS - moved_at)) s after the adapter came"
expect "the port shown" "$(driver status 0)" "Состояние COM-порта: (COM7, 115200)"
driver list 1023 | grep -q "^Считыватель найден на COM7 (был COM3): " || fail "no line of the move"
screenshot found_on_com7
expect "COM saved" "$(ini_line 3)" "COM7"
expect "the settings file's eleven lines" "$(grep -c '' "$PROGRAM_DIR/Korvalen.ini")" 11
read_once 2
expect "the new instance remembered" "$(adapter_file | sed -n '1,2p')" \
    "Port=COM7
InstanceId=$USB\\5&1A2B3C4D&0&4"
screenshot moved
driver close
driver wait-gone || fail "the window does not close"

# 2. Back in the first socket while the program is not running: opened at start, with no
# message about COM7.
kill -USR2 "$SIM_PID"
unplug 4
reader third
rm "$E2E_WORK/adapter7"
link 3
plug COM3 2
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "open at start" "$(driver status 1)" "Соединение установлено"
expect "on COM3" "$(driver status 0)" "Состояние COM-порта: (COM3, 115200)"
driver no-message 'Ошибка соединения' 0 || fail "a port message at start"
driver list 1023 | grep -q "^Считыватель найден на COM3 (был COM7): " || fail "no line at start"
expect "COM saved" "$(ini_line 3)" "COM3"
driver close
driver wait-gone || fail "the window does not close"

# 3. The adapter gone, and COM3 given to another device (the reader behind it stands for
# that device): COM3 opens as it always did. The adapter comes back as COM7, and Windows
# announces it: the program goes there.
unplug 2
driver add-port-device COM3 "USB Serial Port (COM3)" 'FTDIBUS\VID_0403+PID_6001+A5XK3RJTA\0000' \
    'FTDIBUS\COMPORT&VID_0403&PID_6001' || fail "cannot add the other device"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "the other device open" "$(driver status 0) $(driver status 1)" \
    "Состояние COM-порта: (COM3, 115200) Соединение установлено"
reader fourth
link 7
plug COM7 4
driver send 537 32768 0 >/dev/null  # WM_DEVICECHANGE, DBT_DEVICEARRIVAL
expect "the adapter's port instead" "$(driver status 0) $(driver status 1)" \
    "Состояние COM-порта: (COM7, 115200) Соединение установлено"
driver list 1023 | grep -q "^Считыватель найден на COM7 (был COM3): " || fail "no line of the move"

# 4. Pulled out, and two adapters of the same kind come, on COM5 and COM9: neither is
# opened; the line names both, the port dialog marks both.
kill -USR2 "$SIM_PID"
wait_until 5 "the port taken as lost" '[ "$(driver status 1)" = "Ошибка соединения!" ]'
unplug 4
reader fifth
link 5
plug COM5 5
plug COM9 6
wait_until 6 "the line of two adapters" \
    'driver list 1023 | grep -q "^Считыватель не найден однозначно: одинаковые адаптеры на COM5, COM9; "'
expect "neither opened" "$(driver status 1)" "Ошибка соединения!"
expect "the line said once" "$(driver list 1023 | grep -c 'не найден однозначно')" 1
port_dialog='Настройка СОМ-порта'  # Cyrillic С, О, М as in the caption
driver command 32773
expect "both marked" "$(driver dialog-list "$port_dialog" 1031 | grep 'считыватель' | tr '\n' ' ')" \
    "COM5 (считыватель?) COM9 (считыватель?) "
driver dialog-select "$port_dialog" 1031 4
expect "COM5 not held" "$(driver dialog-text "$port_dialog" 1033)" "Порт свободен"
screenshot two_adapters
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays after Установить"
expect "the operator's choice open" "$(driver status 1)" "Соединение установлено"
expect "on COM5" "$(driver status 0)" "Состояние COM-порта: (COM5, 115200)"
expect "and remembered" "$(adapter_file | sed -n '1,2p')" "Port=COM5
InstanceId=$USB\\5&1A2B3C4D&0&5"
driver command 32773
expect "the chosen one marked alone" "$(driver dialog-list "$port_dialog" 1031 | grep 'считыватель' | tr '\n' ' ')" \
    "*COM5 (считыватель) "
driver dialog-click "$port_dialog" 2
driver dialog-gone "$port_dialog" || fail "the dialog stays after Отмена"
driver close
driver wait-gone || fail "the window does not close"

# A damaged record is said so and taken as nothing remembered: COM5 opens as set.
printf 'garbage\r\n' >"$PROGRAM_DIR/Data/Korvalen.adapter"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "the damaged record told" "$(driver list 1023 | head -n 1)" \
    'Файл адаптера считывателя поврежден: C:\Korvalen\Data\Korvalen.adapter'
expect "COM5 as set" "$(driver status 0) $(driver status 1)" \
    "Состояние COM-порта: (COM5, 115200) Соединение установлено"
driver close
driver wait-gone || fail "the window does not close"
