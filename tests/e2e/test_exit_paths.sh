#!/usr/bin/env bash
# "Очистить" empties the log list; the close box, Esc, "Выход" in the main menu and
# "Выход" in the tray menu each end an idle program, Enter does not, and nothing is
# saved at exit.
source "$(dirname "$0")/lib.sh"
e2e_begin exit_paths

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"

# Enter outside a button (the hidden default button OK) confirms nothing and must not
# end the program: once OK is handled, the window still takes "Очистить" from its loop.
driver command-handled 1
driver list-add 1023 "Найдено объектов: 2"
driver list-add 1023 "Ошибок: 0"
expect "log list filled" "$(driver list 1023 | wc -l)" 2
driver click 1001
wait_until 5 "Очистить to empty the log list" 'entries=$(driver list 1023) && [ -z "$entries" ]'
echo "ok: OK (Enter) does not end the program; Очистить empties the log list"

cp "$PROGRAM_DIR/Korvalen.ini" "$E2E_WORK/ini-before"
driver close
wait_exit "$PROGRAM_PID" 15 "the close box to end the program"
echo "ok: the close box ends the program"
cmp "$E2E_WORK/ini-before" "$PROGRAM_DIR/Korvalen.ini" || fail "the settings changed at exit"

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"
driver keys 0x1B # Esc
wait_exit "$PROGRAM_PID" 15 "Esc to end the program"
echo "ok: Esc ends the program"

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"
driver command 32771 # Файл > Выход
wait_exit "$PROGRAM_PID" 15 "Выход to end the program"
echo "ok: Выход in the main menu ends the program"

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"
driver tray 0x205
driver popup-choose 1 || fail "cannot choose Выход" # Показать, separator, Выход
wait_exit "$PROGRAM_PID" 15 "Выход in the tray menu to end the program"
echo "ok: Выход in the tray menu ends the program"
