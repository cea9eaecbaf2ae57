#!/usr/bin/env bash
# A port held by another program: the start's message says so on its second line, and so
# does the port dialog; once the other program lets go, the dialog says the port is free,
# "Установить" opens it and a read goes through.
#
# Wine keeps no share modes for devices: a second Windows program opens a COM port that
# another one holds. What Wine does refuse is a device that a Linux program holds in the
# terminal's exclusive mode, as terminal programs hold their lines, unless the one opening
# it may override that (root may). So a Linux program holds the reader's line here, and
# Wine runs without that privilege, as a user's Wine would.
source "$(dirname "$0")/lib.sh"
e2e_begin port_busy

start_sim reader --pace max --size 2000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"

# The other program: opens the line, takes it exclusively (TIOCEXCL), and gives it back
# (TIOCNXCL) when told to end, since the mode belongs to the terminal, not to the holder.
held=$E2E_WORK/holder.out
perl -e '
    use Fcntl;
    sysopen(my $line, $ARGV[0], O_RDWR | O_NOCTTY | O_NONBLOCK) or die "open: $!";
    ioctl($line, 0x540C, 0) or die "TIOCEXCL: $!";
    $SIG{TERM} = sub { ioctl($line, 0x540D, 0); exit 0 };
    $| = 1;
    print "held\n";
    sleep 1 while 1;
' "$SIM_DEVICE" >"$held" 2>"$RESULTS/holder.err" &
holder=$!
SIM_PIDS+=("$holder")  # ends with the test, as the simulators do
wait_until 5 "the line held" '[ -s "$held" ]'
expect "line held" "$(cat "$held")" "held"

without_override=$E2E_WORK/wine
printf '#!/bin/sh\nexec setpriv --bounding-set -sys_admin %q "$@"\n' "$WINE" >"$without_override"
chmod +x "$without_override"
WINE=$without_override

start_program
driver wait-message 'Ошибка соединения с COM-портом!' 15000 >/dev/null || fail "no port message"
screenshot port_message_busy
answer_port_error "Порт занят другой программой"
driver main-windows 1 >/dev/null || fail "no main window"
expect "no connection" "$(driver status 1)" "Ошибка соединения!"

port_dialog='Настройка СОМ-порта'  # Cyrillic С, О, М as in the caption
driver command 32773
expect "COM1 selected" "$(driver dialog-list "$port_dialog" 1031 | grep '^\*')" "*COM1"
expect "COM1 busy" "$(driver dialog-text "$port_dialog" 1033)" "Порт занят другой программой"
screenshot port_dialog_busy

# The other program ends; the dialog tells anew when the port is picked again.
kill "$holder"
wait "$holder" 2>/dev/null || true
driver dialog-select "$port_dialog" 1031 0
expect "COM1 free" "$(driver dialog-text "$port_dialog" 1033)" "Порт свободен"
driver dialog-click "$port_dialog" 1
driver dialog-gone "$port_dialog" || fail "the dialog stays after Установить"
expect "connected" "$(driver status 1)" "Соединение установлено"
driver click 1004
wait_sim_log "ack " 10
wait_summaries 1 >/dev/null
driver close
driver wait-gone || fail "the window does not close"
