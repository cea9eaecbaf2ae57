#!/usr/bin/env bash
# The About box from the menu and from the system menu (closed by Esc), the port menu
# on the left part of the status bar only, and the hot keys held while active.
source "$(dirname "$0")/lib.sh"
e2e_begin window_commands

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"

driver command 32776 # Справка > О программе
expect "About name" "$(driver dialog-text 'About Korvalen' 1101)" "Korvalen"
expect "About version" "$(driver dialog-text 'About Korvalen' 1102)" "Версия 1.4"
screenshot about
driver dialog-click 'About Korvalen' 1
driver dialog-gone 'About Korvalen' || fail "OK does not close the About box"
driver syscommand 16 # "&About Korvalen..." in the system menu
expect "About from the system menu" "$(driver dialog-text 'About Korvalen' 1102)" "Версия 1.4"
driver keys 0x1B # Esc
driver dialog-gone 'About Korvalen' || fail "Esc does not close the About box"
expect "Esc in the About box leaves the program" "$(driver visible)" 1

driver right-click-status 30 || fail "no port menu on part 0"
screenshot port_menu
driver popup-cancel || fail "the port menu does not close"
echo "ok: port menu on part 0"
if driver right-click-status 80 2>/dev/null; then fail "a menu on the right part of the status bar"; fi
echo "ok: no menu on part 1"

# The hot keys are held only while the program is the active application.
expect "Ctrl+Alt+F1 held" "$(driver hotkey-taken 0x70)" 1
expect "Ctrl+Alt+F2 held" "$(driver hotkey-taken 0x71)" 1
expect "Ctrl+Alt+F1 released when inactive" "$(driver hotkey-free-elsewhere 0x70)" 1
expect "Ctrl+Alt+F2 released when inactive" "$(driver hotkey-free-elsewhere 0x71)" 1
driver keys 0x11 0x12 0x71 # activates the window, then Ctrl+Alt+F2 (bound to nothing)
wait_until 3 "Ctrl+Alt+F1 held again" '[ "$(driver hotkey-taken 0x70)" = 1 ]'
expect "still there" "$(driver visible)" 1
