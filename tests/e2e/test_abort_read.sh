#!/usr/bin/env bash
# "Прервать" in the middle of a transfer: the window is busy (no closing), the reader
# hears "(SSS)", the line goes silent, the part received is decoded and not
# acknowledged, and the window is ready again; the next read delivers only what the part
# did not. The reader sends at the real pace, so the transfer of about 100 KB would take
# nine seconds: time for the checks on a busy machine.
source "$(dirname "$0")/lib.sh"
e2e_begin abort_read

start_sim reader --pace 1 --size 100000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

driver click 1004
wait_sim_log "transfer ND"
wait_until 5 "the abort button" '[ "$(driver text 1000)" = "Прервать" ]'
expect "reading state" "$(driver status 1)" "Считывание"
expect_text 1026 "Преобразование..."
expect "read new disabled" "$(driver enabled 1004)" 0
wait_until 10 "the progress bar to move" '[ "$(driver progress 1006)" -gt 0 ]'
screenshot reading
# The close box does nothing while the transfer is captured.
driver close-handled
driver main-windows 1 >/dev/null || fail "the window closed during the capture"
echo "ok: no closing during the capture"

driver click 1000
wait_sim_log "command (SSS)" 5
wait_sim_log "transfer-end stopped" 5
list=$(wait_summaries 1 15)
expect "the cut transfer told above its summary" \
    "$(sed -n 1p <<<"$list" | sed -E 's/[0-9]+ из [0-9]+/N из M/')" \
    "Передача прервана: получено N из M байт; полученное доставлено, остальное придет при следующем считывании"
expect "routes of the part received" "$(sed -n 4p <<<"$list")" "найдены маршруты объектов:"
expect "nothing acknowledged" "$(sim_count "(SDD)")" 0
size=$(stat -c %s "$PROGRAM_DIR/Data/Korvalen.trc")
[ "$size" -gt 11 ] && [ "$size" -lt 100011 ] || fail "the dump holds $size bytes"
echo "ok: the dump holds the $size bytes received"
expect "ready again" "$(driver status 1)" "Соединение установлено"
expect "read new enabled" "$(driver enabled 1004)" 1

# The data stay new in the reader: the next read brings all of them, and is acknowledged;
# what the part delivered is not delivered again, and a line above the summary says so.
driver click 1004
list=$(wait_summaries 2 30)
sizes=$(grep -o 'transfer ND [0-9]*' "$SIM_LOG" | awk '{print $3}')
expect "the second transfer as large as the first" "$(sed -n 2p <<<"$sizes")" "$(sed -n 1p <<<"$sizes")"
wait_sim_log "ack $(sed -n 1p <<<"$sizes")" 5
expect "the records the part delivered told above the summary" \
    "$(sed -n 1p <<<"$list" | sed -E 's/записей [0-9]+/записей N/')" \
    "Уже доставлено при прошлом считывании: записей N"
screenshot read_again
# Every record once: the InBox is the acknowledged transfer decoded once (less the
# last-record mark, which the part's files got where the second transfer goes on).
native_tools=$(dirname "$KORVALEN_SIM")
records() {
    "$native_tools/korvalen-inspect" "$@" | grep -v ':$' | sed 's/^[0-9]*: //' |
        sed 's/flags 0x8\([0-9A-F]*\) (\([a-z]*\), last)/flags 0x0\1 (\2)/' | sort
}
"$native_tools/korvalen-decode" -o "$E2E_WORK/expected" "$PROGRAM_DIR"/Data/Archive/*-ND.trc >/dev/null
expect "every record once" "$(records "$PROGRAM_DIR"/InBox/* | md5sum)" \
    "$(records "$E2E_WORK"/expected/* | md5sum)"
driver close
driver wait-gone || fail "the window does not close"
