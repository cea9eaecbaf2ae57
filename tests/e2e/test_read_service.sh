#!/usr/bin/env bash
# korvalen-read.exe as a Windows service, as a station's administrator runs it: installed
# (a second one of the same name refused), started with sc start; sc stop during a
# transfer the reader's button started: the part decoded and delivered, the service
# stopped, nothing acknowledged; started again, the button pressed twice, both transfers
# in the InBox once and nothing lost; removed while it runs. Wine's service manager ends
# services once no other program of the prefix runs, so a console waits for the whole test.
source "$(dirname "$0")/lib.sh"
: "${KORVALEN_READ:?}"
e2e_begin read_service
native_tools=$(dirname "$KORVALEN_SIM")

# The first transfer pauses halfway (a reader's pause, sent nothing for 30 s), long
# enough to stop it there; the logger writes a record every 100 ms, so each later
# transfer brings a few new ones.
start_sim station --pace max --size 40000 --all-with-id --start 2026-12-01 --record-every 100 \
    --stall-at 20000:30000 --faults-once
map_port COM1 "$SIM_DEVICE"
# The entries of the event log are Wine's traces, in the console's standard error: the
# service inherits the environment of the prefix's first program.
keep=$E2E_WORK/keep
mkfifo "$keep"
WINEDEBUG=+eventlog "$WINE" cmd /c pause <"$keep" >"$E2E_WORK/keep.out" 2>"$RESULTS/wine.err" &
exec 9>"$keep"
wait_until 30 "the console" 'grep -q "Press any key" "$E2E_WORK/keep.out"'

station=$WINEPREFIX/drive_c/Station
mkdir -p "$station"
cp "$KORVALEN_READ" "$station/korvalen-read.exe"
tool() { "$WINE" 'C:\Station\korvalen-read.exe' "$@"; }
sc() { "$WINE" sc "$@" | tr -d '\r'; }
state() { sc query korvalen-read | sed -n 's/^ *STATE *: [0-9]* *//p'; }
data=$WINEPREFIX/drive_c/ProgramData/Korvalen/Data/korvalen-read
# An InBox with a blank and a backslash at its end: the service's command line quotes it.
inbox=$WINEPREFIX/drive_c/'Диспетчер InBox'
log_lines() { iconv -f CP1251 -t UTF-8 "$data/Korvalen.log" 2>/dev/null | grep -c -- "$1"; }
# Without the last-record mark, which the end of a file gives: the part the stop delivered
# ended its files where the complete transfer after it goes on.
records() {
    "$native_tools/korvalen-inspect" "$@" | grep -v ':$' | sed 's/^[0-9]*: //' |
        sed 's/flags 0x8\([0-9A-F]*\) (\([a-z]*\), last)/flags 0x0\1 (\2)/' | sort
}
# Every acknowledged transfer decoded, natively: what the InBox must hold, each record
# once (what the stopped part delivered is left out when the reader sends it again).
decoded_acknowledged() {
    local n=0 dump
    rm -rf "$E2E_WORK/expected"
    for dump in "$data"/Archive/*-ND*.trc; do
        n=$((n + 1))
        "$native_tools/korvalen-decode" -o "$E2E_WORK/expected/$n" "$dump" >/dev/null
    done
    records "$E2E_WORK"/expected/*/*
}

status=0
tool --install-service --count 2 COM1 >/dev/null 2>"$RESULTS/usage.err" || status=$?
expect "a service reads with --wait" "$status $(tr -d '\r' <"$RESULTS/usage.err" | head -n 1)" \
    "2 korvalen-read: a service reads with --wait until it is stopped: --count is not for a service"
tool --install-service --assign-id 0560 --inbox 'C:\Диспетчер InBox\' COM1 >"$RESULTS/install.out" 2>"$RESULTS/install.err" ||
    fail "install: $(cat "$RESULTS/install.err")"
expect "installed" "$(tr -d '\r' <"$RESULTS/install.out" | tail -n 1)" \
    "Start it now with: sc start korvalen-read"
expect "installed, not running" "$(state)" "STOPPED"
status=0
tool --install-service COM1 >/dev/null 2>"$RESULTS/again.err" || status=$?
expect "a second service of the same name" "$status $(tr -d '\r' <"$RESULTS/again.err" | tail -n 1)" \
    "2 korvalen-read: a service named korvalen-read is installed already: give another --service-name, or remove it first (--uninstall-service)"

# sc stop during a transfer: "(SSS)", the part decoded and delivered, nothing acknowledged.
sc start korvalen-read >"$RESULTS/start.out" || fail "sc start: $(cat "$RESULTS/start.out")"
wait_until 20 "the service running" '[ "$(state)" = RUNNING ]'
wait_until 20 "the service waiting for transfers" \
    '[ "$(log_lines "waiting for the reader'"'"'s transfers on COM1")" -eq 1 ]'
kill -USR1 "$SIM_PID"
wait_sim_log 'stall 30000 ms at 20000' 20
sc stop korvalen-read >"$RESULTS/stop.out"
wait_until 20 "the service stopped" '[ "$(state)" = STOPPED ]'
expect "the reader told to stop, nothing acknowledged" \
    "$(grep -o 'command ([A-Z]*)\|transfer-end [a-z]*\|ack' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QND) command (SSS) transfer-end stopped "
expect "the part decoded and delivered" \
    "$(log_lines '(SDD) не отправлено: передача неполная') $(log_lines ' декодирование ') $(ls "$inbox" | wc -l)" \
    "1 1 4"
expect "the run's last line in the read log" \
    "$(iconv -f CP1251 -t UTF-8 "$data/Korvalen.log" | tr -d '\r' | tail -n 1 | cut -d' ' -f3-)" \
    "korvalen-read: 1 transfer(s) ended short of their size"

# Started again: the button twice, the data the stop left in the reader first.
sc start korvalen-read >"$RESULTS/start.out" || fail "sc start again: $(cat "$RESULTS/start.out")"
wait_until 20 "the service running again" '[ "$(state)" = RUNNING ]'
wait_until 20 "the service waiting again" \
    '[ "$(log_lines "waiting for the reader'"'"'s transfers on COM1")" -eq 2 ]'
for n in 2 3; do
    kill -USR1 "$SIM_PID"
    wait_until 30 "pass $n" '[ "$(log_lines " декодирование ")" -ge $n ]'
done
expect "both transfers complete and acknowledged" \
    "$(grep -o 'transfer-end [a-z]*\|ack' "$SIM_LOG" | tail -n 4 | tr '\n' ' ')" \
    "transfer-end complete ack transfer-end complete ack "
expect "every record once: the InBox is every acknowledged transfer decoded" \
    "$(records "$inbox"/*)" "$(decoded_acknowledged)"
expect "no record in both transfers" \
    "$(comm -12 <(records "$E2E_WORK"/expected/1/*) <(records "$E2E_WORK"/expected/2/*) | wc -l)" 0
expect "starts and stops in the event log" \
    "$(grep -o 'ReportEventW L"korvalen-read \(started\|stopped\)' "$RESULTS/wine.err" | cut -d' ' -f3 | tr '\n' ' ')" \
    "started stopped started "

# Removed while it runs: stopped first, then gone; its folders stay.
tool --uninstall-service >"$RESULTS/uninstall.out" 2>"$RESULTS/uninstall.err" ||
    fail "uninstall: $(cat "$RESULTS/uninstall.err")"
expect "removed" "$(tr -d '\r' <"$RESULTS/uninstall.out")" \
    "Removed the service korvalen-read; its data folder and the InBox are left as they are"
expect "no service left" "$(sc query korvalen-read | grep -c STATE)" 0
expect "stopped before it went" \
    "$(grep -o 'ReportEventW L"korvalen-read \(started\|stopped\)' "$RESULTS/wine.err" | cut -d' ' -f3 | tail -n 1)" \
    "stopped"
expect "its folders stay" "$(ls "$data/Archive" | wc -l)" 3
