#!/usr/bin/env bash
# korvalen-read.exe given the reader's adapter by its device, as --list shows it, finds it
# on COM3; under --wait it follows the adapter moved into another socket (COM3 gone, the
# same vendor and product as COM7) and reads the transfer the reader's button starts there.
# Two adapters of the kind are no guess: the tool ends, naming both.
source "$(dirname "$0")/lib.sh"
: "${KORVALEN_READ:?}"
e2e_begin read_tool_follows

readonly USB='USB\VID_1A86&PID_7523'
plug() { driver add-port-device "$1" "USB-SERIAL CH340 ($1)" "$USB\\5&1A2B3C4D&0&$2" \
    "$USB&REV_0263" "$USB" || fail "cannot add the adapter on $1"; }
unplug() { driver remove-port-device "$USB\\5&1A2B3C4D&0&$1" || fail "cannot remove socket $1"; }
for n in 3 7; do map_port "COM$n" "$E2E_WORK/adapter$n"; done
reader() { start_sim "$1" --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0; }

station=$WINEPREFIX/drive_c/Station
mkdir -p "$station"
cp "$KORVALEN_READ" "$station/korvalen-read.exe"
tool() { (cd "$station" && exec timeout 60 "$WINE" 'C:\Station\korvalen-read.exe' "$@"); }

reader first
ln -s "$SIM_DEVICE" "$E2E_WORK/adapter3"
plug COM3 2
expect "the adapter in the list" "$(tool --list | tr -d '\r' | grep '^COM3 ')" \
    "COM3  USB-SERIAL CH340 (COM3)  1A86:7523"

tool --wait --count 1 1a86:7523 >"$RESULTS/wait.out" 2>"$RESULTS/wait.err" &
station_pid=$!
wait_until 30 "the tool waiting on COM3" \
    "grep -q \"waiting for the reader's transfers on 1a86:7523\" \"\$RESULTS/wait.err\""

kill -USR2 "$SIM_PID"
wait_until 10 "the link taken as lost" 'grep -q "the link to 1a86:7523 was lost" "$RESULTS/wait.err"'
unplug 2
rm "$E2E_WORK/adapter3"
reader second
ln -s "$SIM_DEVICE" "$E2E_WORK/adapter7"
plug COM7 4
wait_until 10 "the tool on COM7" \
    'grep -q "the adapter of 1a86:7523 is on COM7 now (was COM3)" "$RESULTS/wait.err"'
kill -USR1 "$SIM_PID"
status=0
wait "$station_pid" || status=$?
expect "exit status" "$status" 0
expect "the transfer read on COM7" \
    "$(tr -d '\r' <"$RESULTS/wait.out" | grep -c ' считывание COM7 ND: .*; (SDD) отправлено;')" 1

plug COM3 5
status=0
tool --new 'USB-SERIAL CH340' >/dev/null 2>"$RESULTS/two.err" || status=$?
expect "two adapters of the kind" "$status" 1
expect "why" "$(tr -d '\r' <"$RESULTS/two.err")" \
    "korvalen-read: several ports have the device 'USB-SERIAL CH340': COM3, COM7; give one of them"
