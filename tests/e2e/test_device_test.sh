#!/usr/bin/env bash
# The device test, reached by Ctrl+Alt+F1 only: refused during a capture (which goes on)
# and with the port closed; the reader's report line by line with the buttons greyed and
# closing refused meanwhile; a second run that starts with an empty list; the flash
# cleared, so the next "Считать все" brings an empty transfer; the reading thread back
# after the dialog.
source "$(dirname "$0")/lib.sh"
e2e_begin device_test

# At a quarter of the line's pace: 10 KB take 3.5 s, and the report comes a line each
# 0.8 s, slow enough to see the buttons greyed on a busy machine.
start_sim reader --pace 0.25 --size 10000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

dialog='Тестирование'
hot_key() { driver keys 0x11 0x12 0x70; }  # Ctrl+Alt+F1
lines() { driver dialog-lines "$dialog" 1023; }
buttons() {
    echo "$(driver dialog-enabled "$dialog" 1)$(driver dialog-enabled "$dialog" 1010)$(driver dialog-enabled "$dialog" 1011)"
}
# report_done N: the Nth report has come whole and the run is over: the reader has sent
# it (so the program asked for it, emptying the list first), its end line is in the list,
# and the buttons are back.
report_done() {
    [ "$(sim_count 'test-report sent')" = "$1" ] && lines | grep -q '^Test is finished' &&
        [ "$(buttons)" = 111 ]
}

# During a capture: the busy message, and the capture completes.
driver click 1002
wait_sim_log "transfer AD"
hot_key
driver answer "Идет считываение информации из Флеш-памяти." 1 >/dev/null ||
    fail "no busy message during a capture"
wait_sim_log "transfer-end complete" 20
wait_summaries 1 >/dev/null

# The report.
hot_key
driver dialog-lines "$dialog" 1023 >/dev/null || fail "no test dialog"
expect "buttons before" "$(buttons)" 111
driver dialog-click "$dialog" 1010
wait_sim_log "test-report "
wait_until 5 "the buttons greyed while the report comes" '[ "$(buttons)" = 000 ]'
# Esc is refused while the report comes: had it closed the dialog, the dialog would be
# gone at the report's end (the key reaches the dialog long before the last line).
driver keys 0x1B
wait_until 15 "the report" 'report_done 1'
lines >/dev/null || fail "the dialog closed while the report came"
echo "ok: Esc refused while the report came"
# (The empty entry after the end line, the line still being received, does not come
# through the driver's output: a shell drops trailing empty lines.)
lines >"$E2E_WORK/report"
expect "first line" "$(head -n 1 "$E2E_WORK/report")" "Reader self-test"
expect "end line" "$(tail -n 1 "$E2E_WORK/report")" "Test is finished"
expect "lines" "$(wc -l <"$E2E_WORK/report")" 7
screenshot device_test

# Again: the list is emptied first, so it holds one report.
driver dialog-click "$dialog" 1010
wait_until 15 "the second report" 'report_done 2'
expect "one report" "$(lines | grep -c 'Test is finished')" 1

# The flash cleared; the dialog closes; the reading thread is back: an empty transfer.
driver dialog-click "$dialog" 1011
wait_sim_log "flash-cleared"
driver dialog-click "$dialog" 1
driver dialog-gone "$dialog" || fail "the dialog stays"
expect "commands during the test" "$(grep -o 'command ([A-Z]*)' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QAD) command (QTF) command (QTF) command (SEF) "
driver click 1002
wait_sim_log "transfer AD 0" 10
wait_summaries 2 >/dev/null
expect "ready again" "$(driver status 1)" "Соединение установлено"

# The port closed by the user.
driver command 32783
expect "closed" "$(driver status 1)" "Ошибка соединения!"
hot_key
driver answer "СОМ-порт не открыт!" 1 >/dev/null || fail "no message with the port closed"
driver close
driver wait-gone || fail "the window does not close"
