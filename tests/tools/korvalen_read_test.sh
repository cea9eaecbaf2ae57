#!/usr/bin/env bash
# korvalen-read from the outside, against korvalen-sim on a pseudo-terminal: its options,
# and whole reads as a station or an engineer makes them: new data twice after all data,
# the reader's button under --wait, Ctrl+C and SIGTERM, a pulled adapter (during a read;
# and while a station waits, back again), a full disk, an InBox that cannot be written. Every wait is for an event: a line of the simulator's log
# or of the tool's output, a file.
set -uo pipefail
read_tool=$1 sim=$2 decode=$3 inspect=$4
export TZ=UTC0 LC_ALL=C.UTF-8
work=$(mktemp -d)
sim_pids=()
cleanup() {
    local pid
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
source "$(dirname "$0")/check.sh"

# until_found FILE TEXT [COUNT]: until FILE holds COUNT lines with TEXT (at most 30 s).
until_found() {
    local count=${3:-1} found
    for _ in $(seq 600); do
        found=$(grep -c -- "$2" "$1" 2>/dev/null)
        [ "${found:-0}" -ge "$count" ] && return 0
        sleep 0.05
    done
    echo "never found '$2' in $1" >&2
    return 1
}

# start_sim NAME OPTION...: a simulated reader; SIM (its device), SIM_LOG, SIM_PID.
start_sim() {
    local name=$1
    shift
    SIM_LOG=$work/$name.log
    "$sim" --log "$SIM_LOG" --exit-with-parent "$@" >"$work/$name.out" 2>/dev/null </dev/null &
    SIM_PID=$!
    sim_pids+=("$SIM_PID")
    until_found "$work/$name.out" /dev/ && SIM=$(head -n 1 "$work/$name.out")
}

# Sorted records of message files, without their offsets: what a dispatcher gets.
records() {
    "$inspect" "$@" | grep -v ':$' | sed 's/^[0-9]*: //' | sort
}

# The announced sizes of the simulator's transfers, in order.
sizes() {
    grep -o 'transfer [AN]D [0-9]*' "$1" | awk '{ print $3 }' | tr '\n' ' '
}

# --- Options -------------------------------------------------------------------------

"$read_tool" --help >"$work/help"
check "exit status of --help" "$?" 0
for option in --new --all --wait --count --list --settings --inbox --data --assign-id \
    --install-service --uninstall-service --service-name --help --version; do
    check "help describes $option" "$(grep -c -- "^ *\(-[a-z], \)\?$option[ =]" "$work/help")" 1
done
check "help gives every exit status" \
    "$(grep -o '^ *[0-9]\+  ' "$work/help" | tr -d ' ' | tr '\n' ' ')" "130 1 3 4 0 2 "
"$read_tool" --list >/dev/null
check "exit status of --list" "$?" 0
check "version line" "$("$read_tool" --version | sed -E 's/revision [^)]+\)$/revision R)/')" \
    "korvalen-read 1.4 (revision R)"

# Usage errors: status 2, the reason and a one-line hint, nothing opened or written.
while IFS='|' read -r why args; do
    # shellcheck disable=SC2086  # the arguments are split on purpose
    (cd "$work" && "$read_tool" $args >"$work/out" 2>"$work/err")
    check "exit status: $why" "$?" 2
    check "two lines on standard error: $why" "$(wc -l <"$work/err")" 2
    check "hint: $why" "$(tail -n 1 "$work/err")" "Try 'korvalen-read --help'."
    check "nothing on standard output: $why" "$(cat "$work/out")" ""
done <<'CASES'
an unknown option|--bogus /dev/null
no port|--new
two ports|--new /dev/null /dev/zero
two kinds of read|--new --all /dev/null
a count without --wait|--count 2 /dev/null
a count of zero|--wait --count 0 /dev/null
a count that is no number|--wait --count two /dev/null
an ID of three digits|--assign-id 560 /dev/null
a value given to a flag|--new=1 /dev/null
a value missing|--data
a port with --list|--list /dev/null
a settings file that is not there|--settings missing/Korvalen.ini /dev/null
a Windows service on this system|--install-service /dev/null
a service name with a slash|--uninstall-service --service-name a/b
CASES
check "usage errors leave no folders" "$(ls "$work" | grep -c -x 'Data\|InBox\|missing')" 0

# Failures of the world: status 1 and the reason, before anything is read.
"$read_tool" --data "$work/d" -o "$work/i" "$work/no-such-port" >/dev/null 2>"$work/err"
check "exit status of a port that is not there" "$?" 1
check "its reason" "$(grep -c "^korvalen-read: cannot open $work/no-such-port: " "$work/err")" 1
touch "$work/a-file"
"$read_tool" --data "$work/a-file/Data" -o "$work/i" /dev/null >/dev/null 2>"$work/err"
check "exit status of a data folder that cannot be written" "$?" 1
check "its message" "$(cat "$work/err")" \
    "korvalen-read: cannot write in the data folder '$work/a-file/Data/'"

# --- All data, then new data twice ---------------------------------------------------
# All data is never acknowledged, so the following read of new data brings at least as
# much; the second read of new data brings only the few records the logger wrote since.
start_sim twice --pace max --size 30000 --all-with-id --start 2026-12-01 --record-every 300 \
    --journal "$work/logger.txt"
cd "$work" || exit 1
"$read_tool" --all "$SIM" >"$work/all.out" 2>"$work/all.err"
check "exit status of --all" "$?" 0
check "--all asks for all data and acknowledges nothing" \
    "$(grep -o 'command ([A-Z]*)' "$SIM_LOG" | tr '\n' ' ')" "command (QAD) "
check "--all: the read log's line says why" \
    "$(grep -c '; (SDD) не отправлено: передача всех данных; дамп Data/Korvalen.trc; архив ' "$work/all.out")" 1
"$read_tool" --new "$SIM" >"$work/new1.out" 2>"$work/new1.err"
check "exit status of the first --new" "$?" 0
# The logger records a fix while nobody reads, then the second read.
lines=$(wc -l <"$work/logger.txt")
until_found "$SIM_LOG" 'transfer-end' 2
for _ in $(seq 100); do [ "$(wc -l <"$work/logger.txt")" -gt "$lines" ] && break; sleep 0.05; done
"$read_tool" --new "$SIM" >"$work/new2.out" 2>"$work/new2.err"
check "exit status of the second --new" "$?" 0
check "what the reader heard" "$(grep -o 'command ([A-Z]*)' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QAD) command (QND) command (SDD) command (QND) command (SDD) "
read -r all_size first_size second_size <<<"$(sizes "$SIM_LOG")"
[ "$first_size" -ge "$all_size" ] && [ "$second_size" -gt 0 ] &&
    [ "$second_size" -lt $((first_size / 10)) ]
check "sizes: all data, everything new, then only the newest ($all_size $first_size $second_size)" "$?" 0
check "nothing on standard error" "$(cat "$work/new1.err" "$work/new2.err")" ""
check "a summary per read" "$(grep -c "^В файле 'Data/Korvalen.trc'$" "$work"/all.out "$work"/new*.out | sed 's/.*://' | tr '\n' ' ')" "1 1 1 "
check "the read log's lines of a read" \
    "$(sed -E "s|$SIM|PORT|; s/^[0-9.]+ [0-9:]+ //; s/[0-9]+/N/g" "$work/new1.out" | grep -v '^N\(\.N\)* \|^[0-9A-Z]\{4\} (\|^В файле\|^найдены\|^Количество')" \
    "считывание PORT ND: объявлено N байт, получено N байт; (SDD) отправлено; дамп Data/Korvalen.trc; архив N-N-ND.trc
декодирование Data/Korvalen.trc: объектов N, точек N, включений N, ошибок записи N, доставлено файлов N, N мс"
# The InBox holds exactly what decoding each kept dump gives: the window's pass and
# delivery; and no record of the second read was in the first.
check "three dumps archived" "$(ls Data/Archive | sed 's/^[0-9-]*-//' | tr '\n' ' ')" \
    "AD.trc ND.trc ND.trc "
n=0
for dump in Data/Archive/*.trc; do
    n=$((n + 1))
    "$decode" -o "$work/expected/$n" "$dump" >/dev/null
done
check "the InBox is the archived dumps decoded" "$(records InBox/*)" \
    "$(records "$work"/expected/*/*)"
check "the second read brings no record of the first" \
    "$(comm -12 <(records "$work"/expected/2/*) <(records "$work"/expected/3/*) | wc -l)" 0
check "nothing left pending" "$(ls InBox | grep -c -v '^[0-9]\{8\}\.[0-9]\{3\}$')" 0

# --- The reader's button under --wait ------------------------------------------------
# A station with the program's settings file: the InBox it names (Cyrillic, in code page
# 1251 there), the data folder beside it.
start_sim button --pace max --size 8000 --all-with-id --start 2026-12-01 --record-every 200
station=$work/station
mkdir -p "$station"
printf 'COM1\r\nInboxDir%s\r\n' "$station/Диспетчер/InBox/" | iconv -f UTF-8 -t CP1251 \
    >"$station/Korvalen.ini"
cd "$(mktemp -d -p "$work")" || exit 1
"$read_tool" --wait --count 2 --settings "$station/Korvalen.ini" "$SIM" >out 2>err &
reader=$!
until_found err "waiting for the reader's transfers on $SIM"
kill -USR1 "$SIM_PID"
until_found out ' декодирование '
kill -USR1 "$SIM_PID"
wait "$reader"
check "exit status after two transfers" "$?" 0
check "two transfers, both acknowledged" \
    "$(grep -o 'button\|ack [0-9]*' "$SIM_LOG" | sed 's/ [0-9]*//' | tr '\n' ' ')" \
    "button ack button ack "
check "two summaries" "$(grep -c "^В файле '$station/Data/Korvalen.trc'$" out)" 2
check "the InBox of the settings" "$(ls "$station/Диспетчер/InBox" | sed 's/^[0-9]*//' | sort -u | tr '\n' ' ')" \
    ".012 .149 .286 .423 "
check "the data folder beside the settings" "$(ls "$station/Data/Archive" | wc -l) $(ls)" "2 err
out"
# A settings file whose InboxDir line is empty: the InBox in the current folder.
printf 'InboxDir\r\n' >"$station/Empty.ini"
cd "$(mktemp -d -p "$work")" || exit 1
"$read_tool" --all --settings "$station/Empty.ini" "$SIM" >out 2>err
check "an empty InboxDir: the status, the InBox here" "$? $(ls InBox | wc -l)" "0 4"

# Between transfers an interrupt ends the run at once, and the reader hears nothing.
"$read_tool" --wait "$SIM" >out 2>err &
reader=$!
until_found err "waiting for the reader's transfers"
kill -TERM "$reader"
wait "$reader"
check "exit status of SIGTERM between transfers" "$?" 130
check "nothing sent to the reader" "$(grep -c 'command (SSS)' "$SIM_LOG")" 0

# --- Ctrl+C during a transfer --------------------------------------------------------
# As the abort button: "(SSS)", the part received decoded, nothing acknowledged.
start_sim abort --pace 1 --size 60000 --all-with-id --start 2026-12-01 --record-every 0
cd "$(mktemp -d -p "$work")" || exit 1
"$read_tool" --new "$SIM" >out 2>err &
reader=$!
for _ in $(seq 600); do [ "$(stat -c %s Data/Korvalen.trc 2>/dev/null || echo 0)" -gt 3000 ] && break; sleep 0.05; done
kill -INT "$reader"
wait "$reader"
check "exit status of Ctrl+C during a transfer" "$?" 130
check "the reader told to stop, nothing acknowledged" \
    "$(grep -o 'command ([A-Z]*)\|transfer-end [a-z]*\|ack' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QND) command (SSS) transfer-end stopped "
check "the part received decoded and delivered" "$(grep -c "^В файле 'Data/Korvalen.trc'$" out) $(ls InBox | wc -l)" "1 4"
check "its read log line" "$(grep -o '(SDD) не отправлено: передача неполная' out)" \
    "(SDD) не отправлено: передача неполная"
check "the count is the last line" "$(tail -n 1 err)" \
    "korvalen-read: 1 transfer(s) ended short of their size"

# --- The adapter pulled during a transfer --------------------------------------------
start_sim vanish --pace max --size 60000 --all-with-id --vanish-at 20000 --record-every 0
cd "$(mktemp -d -p "$work")" || exit 1
"$read_tool" --new "$SIM" >out 2>err
check "exit status of a pulled adapter" "$?" 4
check "pulled, nothing acknowledged" \
    "$(grep -o 'transfer-end [a-z]*\|command ([A-Z]*)' "$SIM_LOG" | tr '\n' ' ')" \
    "command (QND) transfer-end vanished "
check "the part decoded" "$(grep -c "^В файле 'Data/Korvalen.trc'$" out)" 1
check "the count is the last line" "$(tail -n 1 err)" \
    "korvalen-read: 1 transfer(s) ended short of their size"

# Under --wait the station waits for its adapter: pulled out while idle, the port is
# closed; plugged back (a new reader behind the same name), it is opened again by itself
# and the next transfer is read.
start_sim first --pace max --size 3000 --all-with-id --record-every 0
cd "$(mktemp -d -p "$work")" || exit 1
ln -s "$SIM" adapter
"$read_tool" --wait --count 1 "$PWD/adapter" >out 2>err &
reader=$!
until_found err "waiting for the reader's transfers"
kill -USR2 "$SIM_PID"
until_found err "was lost; waiting for it to come back"
start_sim second --pace max --size 3000 --all-with-id --record-every 0
ln -sfn "$SIM" adapter
until_found err "is back; waiting for the reader's transfers"
kill -USR1 "$SIM_PID"
wait "$reader"
check "exit status after the adapter came back" "$?" 0
check "the transfer after it acknowledged" "$(grep -c '^[0-9.]* ack ' "$SIM_LOG")" 1

# --- A full disk for the dump ----------------------------------------------------------
# Nothing acknowledged, so the next read brings the same data again.
start_sim full --pace max --size 60000 --all-with-id --start 2026-12-01 --record-every 0
cd "$(mktemp -d -p "$work")" || exit 1
(ulimit -f 24 && trap '' XFSZ && exec "$read_tool" --new "$SIM") >out 2>err
check "exit status of a full disk" "$?" 1
check "the dump's message" "$(grep -c '^Не удалось записать информацию в файл. Код ошибки: [0-9]*\.$' err)" 1
check "the reason as the last line" "$(tail -n 1 err)" \
    "korvalen-read: a dump could not be written whole: it was not acknowledged"
check "nothing acknowledged on a full disk" "$(grep -c 'command (SDD)' "$SIM_LOG")" 0
# The read log's lines come first; the summary is headed by its date, then the dump.
check "the log list says why, above the summary" \
    "$(grep -B 2 "^В файле '" out | head -n 1 | cut -d: -f1)" \
    "Передача не подтверждена"
"$read_tool" --new "$SIM" >out 2>err
check "exit status once there is room" "$?" 0
read -r lost_size again_size <<<"$(sizes "$SIM_LOG")"
check "the same transfer again, now acknowledged" "$again_size $(grep -o 'ack [0-9]*' "$SIM_LOG")" \
    "$lost_size ack $lost_size"

# --- The order of the statuses -------------------------------------------------------
# An InBox that cannot be written and a transfer cut short: 3 before 4.
start_sim order --pace max --size 30000 --all-with-id --vanish-at 10000 --record-every 0
cd "$(mktemp -d -p "$work")" || exit 1
touch not-a-folder
"$read_tool" --new -o not-a-folder/InBox "$SIM" >out 2>err
check "exit status of files not written and a transfer cut" "$?" 3
check "the cut transfer is still counted last" "$(tail -n 1 err)" \
    "korvalen-read: 1 transfer(s) ended short of their size"

end_checks
