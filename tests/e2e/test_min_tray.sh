#!/usr/bin/env bash
# With MinTray the program starts hidden with its tray icon; "Показать" in the tray menu
# shows it, minimising hides it again, and a double click on the icon brings it back.
# The driver sends the icon's notifications in the shell's place.
source "$(dirname "$0")/lib.sh"
e2e_begin min_tray

write_ini MinTray1
start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"
expect "visible at start" "$(driver visible)" 0
expect "tray icon at start" "$(driver tray-icon)" 1

driver tray 0x205 # right button up on the icon
driver popup-wait 5000 || fail "no tray menu"
screenshot tray_menu
driver popup-choose 0 || fail "cannot choose Показать"
expect "visible after Показать" "$(driver visible)" 1
expect "restored" "$(driver iconic)" 0
expect "tray icon after Показать" "$(driver tray-icon)" 0

driver minimize || fail "cannot minimise"
expect "visible after minimising" "$(driver visible)" 0
expect "tray icon after minimising" "$(driver tray-icon)" 1
driver tray 0x203 # double click on the icon
wait_until 5 "the window after the double click" '[ "$(driver visible)" = 1 ]'
expect "restored after double click" "$(driver iconic)" 0
expect "tray icon after double click" "$(driver tray-icon)" 0
