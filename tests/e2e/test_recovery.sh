#!/usr/bin/env bash
# The program killed after "(SDD)", while its pass waits for the answer about records
# without ID (as a power cut or a crash would end it), and started again: the pass is
# done again by itself, a line above its summary says so, and the InBox holds every
# record of the transfer exactly once. A read during that pass does not touch the dump
# still to be delivered. While the pass runs Windows may not end the session. The read
# journal tells both reads.
source "$(dirname "$0")/lib.sh"
e2e_begin recovery

readonly WM_QUERYENDSESSION=17
tools=$(dirname "$KORVALEN_SIM")
readonly question="Присутствуют команды без ID!"

start_sim reader --pace max --size 40000 --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
driver click 1004
driver wait-message "$question" 20000 >/dev/null || fail "no question about records without ID"
wait_sim_log "ack " 5
expect "Windows may not end the session while the pass waits" \
    "$(driver send $WM_QUERYENDSESSION 0 0)" 0
screenshot waiting

# The end, as a power cut: the process, then Wine's server.
kill -9 "$PROGRAM_PID"
"$WINESERVER" -k 2>/dev/null || true
"$WINESERVER" -w 2>/dev/null || true
grep -q ' pending ND$' "$PROGRAM_DIR/Data/Korvalen.jnl" || fail "the dump is not pending"
expect "no message file under its name" "$(ls "$PROGRAM_DIR/InBox" | grep -vc '^Korvalen.staging$')" 0
dump_size=$(stat -c %s "$PROGRAM_DIR/Data/Korvalen.trc")

# Started again: the pass is done again and asks again. Meanwhile the reader's button
# starts a transfer (nothing new: the first was acknowledged), which goes to the next
# numbered name.
start_program
driver main-windows 1 >/dev/null || fail "no main window after the restart"
driver wait-message "$question" 20000 >/dev/null || fail "the pass is not done again"
kill -USR1 "$SIM_PID"
wait_sim_log "transfer ND 0" 5
wait_until 10 "the button's transfer in its own dump" '[ -f "$PROGRAM_DIR/Data/Korvalen1.trc" ]'
expect "the dump not delivered yet untouched" "$(stat -c %s "$PROGRAM_DIR/Data/Korvalen.trc")" \
    "$dump_size"
driver answer "$question" 6 5000 >/dev/null
driver dialog-type "Укажите ID" 1021 0560
driver dialog-click "Укажите ID" 1
list=$(wait_summaries 2)
recovered=$(grep -n "^Восстановление: файл 'C:\\\\Korvalen\\\\Data\\\\Korvalen.trc' не был доставлен в InBox, декодируется заново$" <<<"$list" | cut -d: -f1)
[ -n "$recovered" ] || fail "no line of the recovery: $list"
expect "the recovery line above its summary" \
    "$(sed -n "$((recovered + 2))p" <<<"$list")" "В файле 'C:\\Korvalen\\Data\\Korvalen.trc'"
expect "Windows may end the session again" "$(driver send $WM_QUERYENDSESSION 0 0)" 1
screenshot recovered

# Every record of the transfer once: the InBox against the archived dump decoded anew.
records() {
    local file
    for file in "$1"/*; do
        [ -f "$file" ] && "$tools/korvalen-inspect" "$file" | grep -v '^[^0-9]' | sed 's/^[0-9]*: //'
    done | sort
}
archived=$(ls "$PROGRAM_DIR/Data/Archive/"*-ND.trc)
[ "$(wc -l <<<"$archived")" -eq 2 ] || fail "the archive holds: $(ls "$PROGRAM_DIR/Data/Archive")"
"$tools/korvalen-decode" --assign-id 0560 -o "$E2E_WORK/reference" $(head -n 1 <<<"$archived") >/dev/null 2>&1
records "$PROGRAM_DIR/InBox" >"$E2E_WORK/delivered"
records "$E2E_WORK/reference" >"$E2E_WORK/expected"
[ -s "$E2E_WORK/expected" ] || fail "no records in the reference"
diff -q "$E2E_WORK/expected" "$E2E_WORK/delivered" >/dev/null ||
    fail "the InBox differs from the transfer: $(diff "$E2E_WORK/expected" "$E2E_WORK/delivered" | head -5)"
echo "ok: every record of the transfer once ($(wc -l <"$E2E_WORK/delivered") records)"
[ ! -e "$PROGRAM_DIR/InBox/Korvalen.staging" ] || fail "a staging folder is left"

# The read journal in its window: both reads, the recovery and the passes.
driver command 32791
journal=$(driver dialog-text "Журнал считываний" 1200)
expect "reads in the journal" "$(grep -c ' считывание COM1 ND: ' <<<"$journal")" 2
expect "the recovery in the journal" "$(grep -c ' восстановление C:\\Korvalen\\Data\\Korvalen.trc: не был доставлен' <<<"$journal")" 1
expect "passes in the journal" "$(grep -c ' декодирование ' <<<"$journal")" 2
screenshot journal
driver dialog-click "Журнал считываний" 1
driver close
driver wait-gone || fail "the window does not close"
