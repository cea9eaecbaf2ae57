#!/usr/bin/env bash
# The program's main job, as an operator does it: "Считать новые данные" with a reader
# on COM1, the routes in the InBox and the summary in the log list; a second read that
# brings only what the logger recorded since; and a read started by the reader's own
# button, with no click. The reader is korvalen-sim: three vehicles with IDs and an older
# logger without, three days of history, recording on while the program runs.
source "$(dirname "$0")/lib.sh"
e2e_begin read_flash

journal=$E2E_WORK/journal
start_sim reader --pace max --size 40000 --start 2026-12-01 --record-every 200 --journal "$journal"
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"

expect "port state" "$(driver status 0)" "Состояние COM-порта: (COM1, 115200)"
expect "window state" "$(driver status 1)" "Соединение установлено"
expect_text 1026 "Все готово для считывания флэш-памяти,"
expect_text 1027 "Нажмите кнопку на считывателе или одну из кнопок:"
expect_text 1028 "Если нужно декодировать ранее считанный файл,"
expect_text 1029 "Нажмите на кнопку: "
expect "read all enabled" "$(driver enabled 1002)" 1
expect "read new enabled" "$(driver enabled 1004)" 1
screenshot ready

# wait_new_record_without_id: until the logger has written a record of the logger
# without ID since the last read was acknowledged (the journal holds every record the
# logger writes, one a line): the next read brings it, and the question with it.
wait_new_record_without_id() {
    local since
    since=$(wc -l <"$journal")
    wait_until 10 "a new record without ID" 'tail -n +$((since + 1)) "$journal" | grep -q -v ";ID="'
}

# The object IDs of the Nth summary from the top of the log list, sorted.
summary_ids() {
    awk -v want="$2" '/^найдены маршруты объектов:/ { n++; on = n == want; next }
        /^Количество включений/ { on = 0 } on { print substr($0, 1, 4) }' <<<"$1" | sort |
        tr '\n' ' '
}

# 1. Считать новые данные: everything new in the flash. The records of the logger
#    without ID bring the question; Yes, and the ID prompt gives them 0560.
driver click 1004
wait_sim_log "command (QND)"
driver answer "Присутствуют команды без ID!" 6 20000 >/dev/null || fail "no question about records without ID"
driver dialog-type "Укажите ID" 1021 0560
driver dialog-click "Укажите ID" 1
list=$(wait_summaries 1)
expect "dump line" "$(sed -n 2p <<<"$list")" "В файле 'C:\\Korvalen\\Data\\Korvalen.trc'"
expect "routes found" "$(sed -n 3p <<<"$list")" "найдены маршруты объектов:"
expect "objects" "$(summary_ids "$list" 1)" "0012 0149 0286 0560 "
# The history's last day and a half, up to the records of the first minutes of 01.12.
grep -q "^0012 ([0-9]* точ.* на временном интервале: 30.11.2026 - 01.12.2026)$" <<<"$list" ||
    fail "no route line of 0012 from 30.11 to 01.12: $list"
wait_sim_log "ack " 5
expect "one message file per object" \
    "$(ls "$PROGRAM_DIR/InBox" | sed 's/^[0-9]\{8\}\./DDHHMMSS./' | sort | tr '\n' ' ')" \
    "DDHHMMSS.012 DDHHMMSS.149 DDHHMMSS.286 DDHHMMSS.560 "
expect "window state after the read" "$(driver status 1)" "Соединение установлено"
expect_text 1000 "Декодировать файл"
screenshot after_read

# 2. Again, once the logger without ID has written since: only the records written since
#    the first read; No skips those without ID this time.
first_size=$(grep -o 'transfer ND [0-9]*' "$SIM_LOG" | sed -n 1p | awk '{print $3}')
wait_new_record_without_id
driver click 1004
driver answer "Присутствуют команды без ID!" 7 20000 >/dev/null || fail "no question the second time"
list=$(wait_summaries 2)
second_size=$(grep -o 'transfer ND [0-9]*' "$SIM_LOG" | sed -n 2p | awk '{print $3}')
[ "$second_size" -gt 0 ] && [ "$second_size" -lt $((first_size / 10)) ] ||
    fail "the second read brought $second_size bytes after $first_size"
echo "ok: the second read brought only the new $second_size bytes"
expect "objects of the second read" "$(summary_ids "$list" 1)" "0012 0149 0286 "
expect "the first summary below the separator" "$(grep -c '^---$' <<<"$list")" 1

# 3. The reader's button starts a transfer with no click.
wait_until 5 "the second read acknowledged" '[ "$(sim_count "ack ")" -ge 2 ]'
wait_new_record_without_id
kill -USR1 "$SIM_PID"
driver answer "Присутствуют команды без ID!" 7 20000 >/dev/null || fail "no question after the button"
wait_summaries 3 >/dev/null
expect "every read acknowledged" "$(sim_count "ack ")" 3
expect "what the program sent" "$(grep -o 'command ([A-Z]*)' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QND) command (SDD) command (QND) command (SDD) command (QND) command (SDD) "
expect "window state at the end" "$(driver status 1)" "Соединение установлено"

driver close
driver wait-gone || fail "the window does not close"
echo "ok: closes when idle"
