#!/usr/bin/env bash
# A USB adapter pulled out in the middle of a transfer: the read-error message after the
# part received has been decoded, a line above its summary that says how much arrived
# and that the reader keeps the data, nothing acknowledged; the port is then found gone
# and closed. The adapter back in (a new line behind the same COM1): the port opens again
# by itself, with no click, and the next read completes.
source "$(dirname "$0")/lib.sh"
e2e_begin adapter_pulled

# COM1 leads to a link that stands for the adapter's device, so it can come back.
adapter=$E2E_WORK/adapter
start_sim pulled --pace 1 --size 40000 --all-with-id --start 2026-12-01 --record-every 0 \
    --vanish-at 20000
pulled_log=$SIM_LOG
ln -s "$SIM_DEVICE" "$adapter"
map_port COM1 "$adapter"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

driver click 1004
wait_sim_log "vanished at 20000" 20
driver answer "В ходе чтения данных из CОM-порта произошла ошибка." 1 20000 >/dev/null ||
    fail "no read-error message"
list=$(wait_summaries 1)
announced=$(grep -o 'transfer ND [0-9]*' "$pulled_log" | awk '{print $3}')
size=$(stat -c %s "$PROGRAM_DIR/Data/Korvalen.trc")
[ "$size" -ge 20011 ] && [ "$size" -lt 40011 ] || fail "the dump holds $size bytes"
expect "the cut transfer told above its summary" "$(sed -n 1p <<<"$list")" \
    "Передача прервана: получено $((size - 11)) из $announced байт; полученное доставлено, остальное придет при следующем считывании"
expect "the part received decoded" "$(sed -n 4p <<<"$list")" "найдены маршруты объектов:"
expect "nothing acknowledged" "$(grep -c '(SDD)' "$pulled_log")" 0
# The port found gone: its status query has failed for a second.
wait_until 5 "the port taken as lost" '[ "$(driver status 1)" = "Ошибка соединения!" ]'
driver list 1023 | grep -q "^Связь со считывателем потеряна (COM1): " || fail "no line of the loss"
screenshot after_pull

# Back in: a reader behind the same name; the program opens the port by itself.
start_sim back --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
ln -sfn "$SIM_DEVICE" "$adapter"
wait_until 5 "the port open again by itself" '[ "$(driver status 1)" = "Соединение установлено" ]'
driver list 1023 | grep -q "^Связь со считывателем восстановлена (COM1): " ||
    fail "no line of the return"
driver click 1004
wait_sim_log "ack " 20
wait_summaries 2 >/dev/null
expect "ready" "$(driver status 1)" "Соединение установлено"
driver close
driver wait-gone || fail "the window does not close"
