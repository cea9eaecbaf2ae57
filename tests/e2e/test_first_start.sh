#!/usr/bin/env bash
# The first start in an empty folder writes the settings file with the defaults beside
# the program and makes the Data and InBox folders.
source "$(dirname "$0")/lib.sh"
e2e_begin first_start

start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"

cmp <(default_ini_lines) "$PROGRAM_DIR/Korvalen.ini" || fail "Korvalen.ini differs from the defaults"
echo "ok: Korvalen.ini holds the eleven default lines"
[ -d "$PROGRAM_DIR/Data" ] || fail "no Data folder"
[ -d "$PROGRAM_DIR/InBox" ] || fail "no InBox folder"
echo "ok: Data and InBox made"
