#!/usr/bin/env bash
# Load: ten reads of new data one after another while the logger keeps recording, each
# started as soon as the reader has the last one acknowledged, so that every capture
# overlaps the pass of the dump before it. Every record the logger wrote up to the last
# acknowledgement is in exactly one dump, once and in order; and the InBox holds
# exactly the records of those dumps.
source "$(dirname "$0")/lib.sh"
e2e_begin ten_reads
: "${KORVALEN_NATIVE_BUILD_DIR:=$(dirname "$KORVALEN_SIM")/..}"
decode=$KORVALEN_NATIVE_BUILD_DIR/tools/korvalen-decode
inspect=$KORVALEN_NATIVE_BUILD_DIR/tools/korvalen-inspect

journal=$E2E_WORK/journal
start_sim reader --pace max --size 100000 --all-with-id --start 2026-12-01 --record-every 20 \
    --journal "$journal"
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

mkdir -p "$E2E_WORK/dumps"
for read in $(seq 10); do
    wait_until 10 "read new enabled for read $read" '[ "$(driver enabled 1004)" = 1 ]'
    driver click 1004
    wait_until 10 "read $read acknowledged" '[ "$(sim_count "^[0-9.]* ack [0-9]")" -ge "$read" ]'
    # Acknowledged only once the dump was closed on the disk: the newest one is whole.
    newest=$(ls -t "$PROGRAM_DIR/Data/"*.trc | head -n 1)
    cp "$newest" "$E2E_WORK/dumps/$(printf '%02d' "$read").trc"
done
wait_summaries 10 60 >/dev/null

# Each dump's frames after its header, in the order of the reads, against the journal.
for dump in "$E2E_WORK/dumps/"*.trc; do
    tail -c +12 "$dump" | tr -d '\r' | grep '^>'
done >"$E2E_WORK/delivered"
delivered=$(wc -l <"$E2E_WORK/delivered")
written=$(wc -l <"$journal")
head -n "$delivered" "$journal" >"$E2E_WORK/journal-prefix"
cmp -s "$E2E_WORK/delivered" "$E2E_WORK/journal-prefix" ||
    fail "the dumps do not hold the logger's records once each, in order"
echo "ok: $delivered of the $written records the logger wrote were delivered, each once"

# The InBox against the same dumps decoded by the tool.
records_in() { "$inspect" "$1"/* | grep -c ': object '; }
for dump in "$E2E_WORK/dumps/"*.trc; do
    "$decode" -o "$E2E_WORK/expected-inbox" "$dump" >/dev/null 2>&1 || fail "cannot decode $dump"
done
expect "records in the InBox" "$(records_in "$PROGRAM_DIR/InBox")" "$(records_in "$E2E_WORK/expected-inbox")"
echo "ok: $(records_in "$PROGRAM_DIR/InBox") records in $(ls "$PROGRAM_DIR/InBox" | wc -l) message files"
driver close
driver wait-gone || fail "the window does not close"
