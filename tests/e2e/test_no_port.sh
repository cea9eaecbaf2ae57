#!/usr/bin/env bash
# Without a reader on the configured port the program says so once and shows the
# no-connection state: its texts, the status bar, the reading buttons greyed.
source "$(dirname "$0")/lib.sh"
e2e_begin no_port

write_ini UseGlobalID0 GlobalID9999 COM3 'InFileC:\Korvalen\Data\Korvalen.trc' \
    'InboxDirC:\Korvalen\InBox\' Use2D0 MultiStart1 MinTray0 IndInNum0 IndInStatus0 IndInChk0
start_program
answer_port_error "Такого порта нет в системе"
driver main-windows 1 >/dev/null || fail "no main window"
# The message comes once: the window shows only when its start is over, and enabled it has
# no message box open.
wait_until 10 "the window to show" '[ "$(driver visible)" = 1 ]'
expect "no message box open" "$(driver window-enabled)" 1
driver no-message 'Ошибка соединения' 0 || fail "the port message came twice"

expect "status part 0" "$(driver status 0)" "Состояние COM-порта: (COM3, 115200)"
expect "status part 1" "$(driver status 1)" "Ошибка соединения!"
expect_text 1026 "Ошибка соединения с COM-портом!"
expect_text 1027 ""
expect_text 1028 ""
expect_text 1029 ""
expect_text 1000 "Декодировать файл"
expect "read all enabled" "$(driver enabled 1002)" 0
expect "read new enabled" "$(driver enabled 1004)" 0
expect "decode enabled" "$(driver enabled 1000)" 1
expect "visible" "$(driver visible)" 1
expect "no tray icon" "$(driver tray-icon)" 0
screenshot state2
