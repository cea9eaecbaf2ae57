#!/usr/bin/env bash
# Without MultiStart a second start says that a copy runs, raises the running one and
# ends; with MultiStart a second instance runs fully.
source "$(dirname "$0")/lib.sh"
e2e_begin single_instance

write_ini MultiStart0
start_program
first=$PROGRAM_PID
answer_port_error
first_window=$(driver main-windows 1) || fail "no main window"
driver minimize || fail "cannot minimise the first instance"
expect "first minimised" "$(driver iconic)" 1

start_program
second=$PROGRAM_PID
expect "message" "$(driver answer 'Уже есть запущенная копия программы!' 1 15000)" \
    "Уже есть запущенная копия программы!"
# Had it gone on to the port, its error message would hold it open.
wait_exit "$second" 15 "the second instance to end"
echo "ok: the second instance ended"
running "$first" || fail "the first instance ended"
expect "main windows" "$(driver main-windows 1)" "$first_window"
expect "first restored" "$(driver iconic)" 0
expect "first in front" "$(driver foreground)" 1
screenshot raised_first

write_ini MultiStart1
start_program
third=$PROGRAM_PID
answer_port_error
windows=$(driver main-windows 2) || fail "the third instance has no window"
running "$first" && running "$third" || fail "not both instances run"
expect "third's status" "$(driver --window "$(echo "$windows" | grep -v "$first_window")" status 0)" \
    "Состояние COM-порта: (COM1, 115200)"
echo "ok: with MultiStart both instances run"
