#!/usr/bin/env bash
# The port commands: the COM-port dialog (cancel; move to COM2, where another reader
# answers; and back), closing and opening through the status bar's context menu, and a
# COM setting of a port the system does not have.
source "$(dirname "$0")/lib.sh"
e2e_begin port_commands

start_sim first --pace max --size 2000 --all-with-id --start 2026-12-01 --record-every 0
first_log=$SIM_LOG
map_port COM1 "$SIM_DEVICE"
start_sim second --pace max --size 2000 --all-with-id --start 2026-12-01 --record-every 0
second_log=$SIM_LOG
map_port COM2 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

port_dialog='Настройка СОМ-порта'  # Cyrillic С, О, М as in the caption
# The six entries every system gets; the ports that Wine reports after them are
# test_any_port's.
ports_listed() { driver dialog-list "$port_dialog" 1031 | head -n 6 | tr '\n' ' '; }

# The dialog: the port list at COM1, the line settings fixed and greyed; Cancel changes
# nothing.
driver command 32773
expect "ports" "$(ports_listed)" "*COM1 COM2 COM3 COM4 COM5 COM6 "
expect "speeds" "$(driver dialog-list "$port_dialog" 1026 | tr '\n' ' ')" \
    "*115200 19200 9600 2400 1200 300 "
expect "parities, in capitals" "$(driver dialog-list "$port_dialog" 1027 | tr '\n' ' ')" \
    "*NONE ODD EVEN MARK SPACE "
expect "data bits" "$(driver dialog-list "$port_dialog" 1028 | tr '\n' ' ')" "*8 7 6 "
expect "stop bits" "$(driver dialog-list "$port_dialog" 1029 | tr '\n' ' ')" "*1 1.5 2 "
for list in 1026 1027 1028 1029; do
    expect "list $list greyed" "$(driver dialog-enabled "$port_dialog" $list)" 0
done
expect "port list usable" "$(driver dialog-enabled "$port_dialog" 1031)" 1
screenshot port_dialog
driver dialog-click "$port_dialog" 2
driver dialog-gone "$port_dialog" || fail "the dialog stays after Отмена"
expect "still on COM1" "$(driver status 0)" "Состояние COM-порта: (COM1, 115200)"

# COM2 through the status bar's menu; the setting is saved; the reader there answers.
driver right-click-status 20 || fail "no port menu"
driver popup-choose 1  # "СОМ-порт..."
driver dialog-select "$port_dialog" 1031 1
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays after Установить"
expect "on COM2" "$(driver status 0)" "Состояние COM-порта: (COM2, 115200)"
expect "ready on COM2" "$(driver status 1)" "Соединение установлено"
expect "COM setting" "$(sed -n 3p "$PROGRAM_DIR/Korvalen.ini" | tr -d '\r')" "COM2"
driver click 1004
SIM_LOG=$second_log wait_sim_log "ack " 10
wait_summaries 1 >/dev/null
expect "the first reader heard nothing" "$(grep -c 'command' "$first_log")" 0

# Close and open through the context menu; its first item says what it does.
driver right-click-status 20 || fail "no port menu"
driver popup-choose 0  # "Закрыть СОМ-порт"
expect "closed" "$(driver status 1)" "Ошибка соединения!"
expect_text 1026 "Ошибка соединения с COM-портом!"
expect "read new disabled" "$(driver enabled 1004)" 0
driver right-click-status 20 || fail "no port menu"
driver popup-choose 0  # "Открыть СОМ-порт"
expect "open again" "$(driver status 1)" "Соединение установлено"

# Back to COM1 from the main menu.
driver command 32773
expect "ports from COM2" "$(ports_listed)" "COM1 *COM2 COM3 COM4 COM5 COM6 "
driver dialog-select "$port_dialog" 1031 0
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays"
expect "back on COM1" "$(driver status 0)" "Состояние COM-порта: (COM1, 115200)"
expect "ready on COM1" "$(driver status 1)" "Соединение установлено"
driver close
driver wait-gone || fail "the window does not close"

# A COM setting of a port the system does not have: the port fails, the dialog starts with
# no port chosen, and accepting it leaves the port closed and says so; the setting stays.
sed -i 's/^COM1\r$/COM200\r/' "$PROGRAM_DIR/Korvalen.ini"
start_program
answer_port_error "Такого порта нет в системе"
expect "port state" "$(driver status 0)" "Состояние COM-порта: (COM200, 115200)"
driver command 32773
expect "the six" "$(ports_listed)" "COM1 COM2 COM3 COM4 COM5 COM6 "
expect "no port chosen" "$(driver dialog-list "$port_dialog" 1031 | grep -c '^\*')" 0
driver dialog-click "$port_dialog" 1
expect "no choice" "$(driver answer 'Не выбран COM-порт' 1)" "Не выбран COM-порт. Порт закрыт."
expect "no connection" "$(driver status 1)" "Ошибка соединения!"
expect "COM setting kept" "$(sed -n 3p "$PROGRAM_DIR/Korvalen.ini" | tr -d '\r')" "COM200"
driver close
driver wait-gone || fail "the window does not close"
