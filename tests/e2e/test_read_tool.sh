#!/usr/bin/env bash
# korvalen-read.exe as a Windows station runs it.
# 1. "--new COM1" with a reader on COM1 gives the InBox that the window's "Считать новые
#    данные" gives of the same flash. Two simulated readers started alike; the tool reads
#    one, the window the other; the summaries and the message files are compared, the
#    files byte for byte but for each record's decoding time.
# 2. Under "--wait", the session ends (wineboot --end-session, as a log-off) during a
#    transfer the reader's button started: the transfer is stopped as Ctrl+C stops it.
source "$(dirname "$0")/lib.sh"
: "${KORVALEN_READ:?}"
e2e_begin read_tool

start_sim session --pace 1 --size 200000 --all-with-id --start 2026-12-01 --record-every 0
session_log=$SIM_LOG session_pid=$SIM_PID
map_port COM3 "$SIM_DEVICE"

flash=(--pace max --size 40000 --start 2026-12-01 --record-every 0 --seed 5)
start_sim tool "${flash[@]}"
tool_log=$SIM_LOG
map_port COM1 "$SIM_DEVICE"
start_sim window "${flash[@]}"
window_log=$SIM_LOG
map_port COM2 "$SIM_DEVICE"
write_ini UseGlobalID0 GlobalID9999 COM2 'InFileC:\Korvalen\Data\Korvalen.trc' \
    'InboxDirC:\Korvalen\InBox\' Use2D0 MultiStart1 MinTray0 IndInNum0 IndInStatus0 IndInChk0

# The station: records without ID get 0560, as the operator answers the window below.
station=$WINEPREFIX/drive_c/Station
mkdir -p "$station"
cp "$KORVALEN_READ" "$station/korvalen-read.exe"
status=0
(cd "$station" && timeout 60 "$WINE" 'C:\Station\korvalen-read.exe' --new --assign-id 0560 COM1) \
    >"$RESULTS/read.out" 2>"$RESULTS/read.err" || status=$?
expect "exit status of korvalen-read.exe" "$status" 0
expect "what the tool's reader heard" "$(grep -o 'command ([A-Z]*)' "$tool_log" | tr '\n' ' ')" \
    "command (QND) command (SDD) "
expect "the read log's line of the transfer" \
    "$(grep -c '^[0-9.]* [0-9:]* считывание COM1 ND: .*; (SDD) отправлено; дамп Data\\Korvalen.trc; архив ' "$RESULTS/read.out")" 1

start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"
driver click 1004
driver answer "Присутствуют команды без ID!" 6 20000 >/dev/null || fail "no question about records without ID"
driver dialog-type "Укажите ID" 1021 0560
driver dialog-click "Укажите ID" 1
list=$(wait_summaries 1)
screenshot after_read
expect "what the window's reader heard" "$(grep -o 'command ([A-Z]*)' "$window_log" | tr '\n' ' ')" \
    "command (QND) command (SDD) "

# The routes of the summaries: the window's log list against the tool's output.
# The tool's standard output has Windows's CR LF.
routes() { tr -d '\r' <<<"$1" | grep '^[0-9]\{4\} (\|^Количество включений'; }
expect "the same routes in both summaries" "$(routes "$(cat "$RESULTS/read.out")")" \
    "$(routes "$list")"

# A message file as one byte a line, in hex, each record's decoding time (head offsets
# 16 to 31: UTC and local) as "--". A record is its 80-byte head and the text whose length
# the head gives at offset 76.
masked_bytes() {
    od -An -v -tx1 "$1" | tr -s ' ' '\n' | sed '/^$/d' | awk '
        function hex(h,    i, v) {
            v = 0
            for (i = 1; i <= length(h); i++) v = v * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
            return v
        }
        { b[n++] = $1 }
        END {
            for (r = 0; r + 80 <= n; r += 80 + hex(b[r + 79] b[r + 78] b[r + 77] b[r + 76]))
                for (i = 16; i < 32; i++) b[r + i] = "--"
            for (i = 0; i < n; i++) print b[i]
        }'
}
objects() { ls "$1" | sed 's/^.*\.//' | sort | tr '\n' ' '; }
expect "one message file per object in both InBoxes" "$(objects "$station/InBox")" \
    "$(objects "$PROGRAM_DIR/InBox")"
for file in "$PROGRAM_DIR"/InBox/*; do
    object=${file##*.}
    cmp -s <(masked_bytes "$file") <(masked_bytes "$station"/InBox/*."$object") ||
        fail "the message files of object $object differ"
    echo "ok: object $object: the same $(stat -c %s "$file") bytes but for the decoding times"
done

driver close
driver wait-gone || fail "the window does not close"

# 2. The session ends during a transfer.
session=$WINEPREFIX/drive_c/Session
mkdir -p "$session"
cp "$KORVALEN_READ" "$session/korvalen-read.exe"
(cd "$session" && exec timeout 60 "$WINE" 'C:\Session\korvalen-read.exe' --wait COM3) \
    >"$RESULTS/session.out" 2>"$RESULTS/session.err" &
reader=$!
wait_until 30 "the tool waiting for transfers" \
    "grep -q \"waiting for the reader's transfers on COM3\" \"\$RESULTS/session.err\""
kill -USR1 "$session_pid"
wait_until 30 "a transfer under way" \
    '[ "$(stat -c %s "$session/Data/Korvalen.trc" 2>/dev/null || echo 0)" -gt 5000 ]'
"$WINE" wineboot --end-session
status=0
wait "$reader" || status=$?
expect "exit status at the session's end" "$status" 130
expect "the reader told to stop, nothing acknowledged" \
    "$(grep -o 'command ([A-Z]*)\|transfer-end [a-z]*\|ack' "$session_log" | tr '\n' ' ')" \
    "command (QND) command (SSS) transfer-end stopped "
expect "the part received decoded" "$(tr -d '\r' <"$RESULTS/session.out" | grep -cxF "В файле 'Data\\Korvalen.trc'")" 1
expect "and delivered" "$(ls "$session/InBox" | sed 's/^.*\.//' | tr '\n' ' ')" "012 149 286 423 "
