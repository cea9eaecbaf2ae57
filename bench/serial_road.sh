#!/usr/bin/env bash
# Measures the serial road against the simulated reader, natively (the reading thread
# alone, korvalen-read-bench), under Wine (the whole Korvalen.exe) and natively through
# korvalen-read (the whole road without a window: journal, archive, pass, delivery):
#   1. no byte lost over a 1 MiB transfer at the real pace of 115,200 baud;
#   2. the end of a transfer of new data: from the reader's last byte to the "(SDD)" it
#      receives, over 20 transfers (both times from the simulator's own log);
#   3. the CPU an idle program uses in 60 s with the port open;
#   4. under Wine only: the end of a transfer while the window decodes a large dump, the
#      window's pass of a 16 MiB dump against korvalen-decode.exe on the same dump, and
#      the CPU while a lost port is being tried again.
# Takes about twelve minutes for native and wine, nine more for tool. Needs the native
# and Windows builds (scripts/build).
#   bench/serial_road.sh [native|wine|tool|all]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
which=${1:-all}
native=build/native
sim=$native/tools/korvalen-sim
bench=$native/bench/korvalen-read-bench
read_tool=$native/tools/korvalen-read
exe=build/windows/Korvalen.exe
driver_exe=build/windows/tests/e2e/korvalen-driver.exe
work=$(mktemp -d "${TMPDIR:-/tmp}/korvalen-serial-road.XXXXXX")
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8

pids=()  # the simulators and the program
xvfb=
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
    for pid in "${pids[@]}" $xvfb; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KORVALEN_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# start_sim NAME OPTION...: SIM_DEVICE, SIM_LOG
start_sim() {
    local name=$1
    shift
    SIM_LOG=$work/$name.log
    "$sim" --log "$SIM_LOG" "$@" >"$work/$name.out" 2>&1 </dev/null &
    pids+=($!)
    for _ in $(seq 200); do
        [ -s "$work/$name.out" ] && break
        sleep 0.05
    done
    SIM_DEVICE=$(head -n 1 "$work/$name.out")
}

stop_sims() {
    [ ${#pids[@]} -gt 0 ] || return 0  # a bare wait would wait for Xvfb too
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait "${pids[@]}" 2>/dev/null || true
    pids=()
}

# The payload of a captured dump against the flash it came from.
check_dump() {  # DUMP FLASH
    local size
    size=$(stat -c %s "$2")
    if [ "$(head -c 11 "$1")" = "$(printf '(ND0%06X)' "$size")" ] && cmp -s <(tail -c +12 "$1") "$2"
    then
        echo "  all $size bytes arrived, in order ($(stat -c %s "$1") with the header)"
    else
        echo "  LOST OR CHANGED: the dump holds $(stat -c %s "$1") bytes for $size" >&2
        return 1
    fi
}

# Milliseconds from each "transfer-end complete" to the "(SDD)" after it: median, worst.
ack_latency() {  # SIM_LOG
    awk '/transfer-end complete/ { end = $1 } /command \(SDD\)/ && end { print int(($1 - end) * 1000 + 0.5); end = 0 }' "$1" |
        sort -n | awk '{ v[NR] = $1 } END { printf "  %d transfers: median %d ms, worst %d ms\n", NR, v[int((NR + 1) / 2)], v[NR] }'
}

head -c 1048576 /dev/urandom >"$work/flash-1MiB.bin"
head -c 2000 /dev/urandom >"$work/flash-small.bin"
# A full flash of records (240,000 of eight objects, 16 MiB) for the passes.
"$native/bench/korvalen-peer-inputs" 240000 8 "$work/full.trc" /dev/null >/dev/null
head -c 65536 /dev/urandom >"$work/flash-64KiB.bin"

# cpu_seconds PID: user and system time of a running process so far.
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$1/stat"
}

if [ "$which" = tool ] || [ "$which" = all ]; then
    echo "== native: korvalen-read against korvalen-sim"
    echo "1 MiB of new data at 11,520 bytes/s, with the journal, the archive and the pass:"
    start_sim tool-big --flash "$work/flash-1MiB.bin" --pace 1
    mkdir -p "$work/tool" && cd "$work/tool"
    TIMEFORMAT='%R %U %S'
    { time "$root/$read_tool" --new "$SIM_DEVICE" >/dev/null 2>&1; } 2>"$work/tool-time"
    cd "$root"
    read -r wall user sys <"$work/tool-time"
    awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN {
        printf "  %.1f s; CPU %.2f s user + %.2f s system: %.2f %% of a core\n", w, u, s, 100 * (u + s) / w }'
    check_dump "$work/tool/Data/Korvalen.trc" "$work/flash-1MiB.bin"
    ack_latency "$SIM_LOG"
    stop_sims

    # Against the reading thread alone (korvalen-read-bench) in the same run, turn about,
    # so that the two share whatever else the machine does meanwhile.
    echo "The end of a transfer of new data, 20 reads of 64 KiB each, each from a fresh reader,"
    echo "korvalen-read and the reading thread alone in turn:"
    : >"$work/tool-acks.log"
    : >"$work/thread-acks.log"
    mkdir -p "$work/thread"
    for n in $(seq 20); do
        start_sim "tool-ack-$n" --flash "$work/flash-64KiB.bin" --pace 1
        (cd "$work/tool" && "$root/$read_tool" --new "$SIM_DEVICE" >/dev/null 2>&1)
        stop_sims
        cat "$SIM_LOG" >>"$work/tool-acks.log"
        start_sim "thread-ack-$n" --flash "$work/flash-64KiB.bin" --pace 1
        "$bench" "$SIM_DEVICE" --reads 1 --folder "$work/thread" >/dev/null
        stop_sims
        cat "$SIM_LOG" >>"$work/thread-acks.log"
    done
    echo "  korvalen-read:"
    ack_latency "$work/tool-acks.log"
    echo "  the reading thread alone:"
    ack_latency "$work/thread-acks.log"

    echo "Idle with the port open for 60 s, korvalen-read --wait and the reading thread alone"
    echo "side by side:"
    start_sim tool-idle --flash "$work/flash-small.bin" --record-every 0
    (cd "$work/tool" && exec "$root/$read_tool" --wait "$SIM_DEVICE" >/dev/null 2>"$work/tool-idle.err") &
    reader=$!
    until grep -q waiting "$work/tool-idle.err" 2>/dev/null; do sleep 0.1; done
    start_sim thread-idle --flash "$work/flash-small.bin" --record-every 0
    (cd "$work/thread" && exec "$root/$bench" "$SIM_DEVICE" --idle 65) >"$work/thread-idle.out" &
    thread_bench=$!
    sleep 5  # past the starts
    before=$(cpu_seconds "$reader")
    sleep 60
    after=$(cpu_seconds "$reader")
    kill -TERM "$reader"
    wait "$reader" 2>/dev/null || true
    wait "$thread_bench"
    stop_sims
    awk -v b="$before" -v a="$after" 'BEGIN {
        printf "  korvalen-read: %.2f s: %.3f %% of a core\n", a - b, 100 * (a - b) / 60 }'
    echo "  the reading thread alone, 65 s from its start: $(cat "$work/thread-idle.out")"
fi

if [ "$which" = native ] || [ "$which" = all ]; then
    echo "== native: the reading thread (korvalen-read-bench) against korvalen-sim"
    echo "1 MiB of new data at 11,520 bytes/s:"
    start_sim big --flash "$work/flash-1MiB.bin" --pace 1
    mkdir -p "$work/native"
    start=$SECONDS
    "$bench" "$SIM_DEVICE" --reads 1 --folder "$work/native" >/dev/null
    echo "  $((SECONDS - start)) s"
    check_dump "$work/native/Korvalen.trc" "$work/flash-1MiB.bin"
    stop_sims

    echo "The end of a transfer of new data (the logger records a fix every 50 ms):"
    start_sim acks --flash "$work/flash-small.bin" --pace 1 --record-every 50 --all-with-id
    "$bench" "$SIM_DEVICE" --reads 20 --folder "$work/native" >/dev/null
    ack_latency "$SIM_LOG"
    stop_sims

    echo "Idle with the port open:"
    start_sim idle --flash "$work/flash-small.bin" --record-every 0
    # Its journal and read log go into ./Data: not the source tree's.
    echo "  $(cd "$work" && "$root/$bench" "$SIM_DEVICE" --idle 60)"
    stop_sims
fi

if [ "$which" = wine ] || [ "$which" = all ]; then
    echo "== under Wine: Korvalen.exe against korvalen-sim on COM1"
    export WINEPREFIX=$work/prefix
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 200); do [ -s "$work/display" ] && break; sleep 0.05; done
    export DISPLAY=":$(head -n 1 "$work/display")"
    "$WINE" wineboot -i >/dev/null 2>&1
    program=$work/prefix/drive_c/Korvalen
    # Now and then a Wine process ends at its start without running (see tests/e2e/lib.sh):
    # a call that failed without a word is made again.
    # The output goes through a file: a wineserver that such a call starts would hold a
    # pipe open for ever.
    driver() {
        local attempt status
        for attempt in 1 2 3; do
            status=0
            timeout 60 "$WINE" "$driver_exe" "$@" >"$work/driver.out" 2>&1 || status=$?
            [ $status -eq 0 ] || [ -s "$work/driver.out" ] && break
        done
        cat "$work/driver.out"
        return $status
    }
    summaries() { driver list 1023 | grep -c "^В файле '" || true; }
    # run_program SIM_NAME SIM_OPTION...: the simulator, COM1 to it, the program.
    run_program() {
        local name=$1
        shift
        "$WINESERVER" -k 2>/dev/null || true
        "$WINESERVER" -w 2>/dev/null || true
        stop_sims
        start_sim "$name" "$@"
        "$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$SIM_DEVICE" /f >/dev/null
        "$WINESERVER" -k 2>/dev/null || true
        "$WINESERVER" -w 2>/dev/null || true
        rm -rf "$program"
        mkdir -p "$program"
        cp "$exe" "$program/Korvalen.exe"
        (cd "$program" && exec "$WINE" 'C:\Korvalen\Korvalen.exe') >"$work/$name-program.log" 2>&1 &
        pids+=($!)
        driver main-windows 1 30000 >/dev/null
        [ "$(driver status 1)" = "Соединение установлено" ] || { echo "no connection" >&2; exit 1; }
    }
    wait_summaries() {  # COUNT
        for _ in $(seq 3000); do
            [ "$(summaries)" -ge "$1" ] && [ "$(driver text 1000)" = "Декодировать файл" ] && return 0
            sleep 0.1
        done
        echo "no summary $1" >&2
        return 1
    }

    echo "1 MiB of new data at 11,520 bytes/s:"
    run_program wine-big --flash "$work/flash-1MiB.bin" --pace 1
    start=$SECONDS
    driver click 1004
    wait_summaries 1
    echo "  $((SECONDS - start)) s with the decoding of the dump"
    check_dump "$program/Data/Korvalen.trc" "$work/flash-1MiB.bin"

    echo "The end of a transfer of new data (the logger records a fix every 50 ms):"
    run_program wine-acks --flash "$work/flash-small.bin" --pace 1 --record-every 50 --all-with-id
    for n in $(seq 20); do
        driver click 1004
        wait_summaries "$n"
    done
    sleep 0.3
    ack_latency "$SIM_LOG"

    echo "The end of a transfer while the window decodes a 16 MiB dump (the reader's"
    echo "button pressed right after the pass began):"
    run_program wine-busy --flash "$work/flash-small.bin" --pace 1 --record-every 50 --all-with-id
    cp "$work/full.trc" "$program/full.trc"
    for n in $(seq 20); do
        driver click 1000
        driver file-dialog 'C:\Korvalen\full.trc' >/dev/null
        kill -USR1 "${pids[-2]}"
        wait_summaries $((2 * n))
    done
    sleep 0.3
    ack_latency "$SIM_LOG"

    # The window's pass as the read log times it (from the dump's opening to the last file
    # delivered); korvalen-decode.exe's run less the same on a dump of one record, which
    # is Wine's start and the tool's own.
    echo "The window's pass of a 16 MiB dump against korvalen-decode.exe on it, both under Wine:"
    head -c 120 tests/data/sample.trc >"$program/tiny.trc"
    passes=40
    window_pass() {  # sets window (not in a subshell: it counts the passes)
        driver click 1000
        driver file-dialog 'C:\Korvalen\full.trc' >/dev/null
        passes=$((passes + 1))
        wait_summaries "$passes"
        window=$(iconv -f CP1251 -t UTF-8 "$program/Data/Korvalen.log" |
            grep 'декодирование .*full.trc' | tail -n 1 | grep -o '[0-9]* мс' | cut -d' ' -f1)
    }
    tool_ms() {  # DUMP: with Wine's start
        local start
        rm -rf "$work/decode-out"
        start=$(date +%s%N)
        "$WINE" build/windows/tools/korvalen-decode.exe -o "Z:${work//\//\\}\\decode-out" \
            "C:\\Korvalen\\$1" >/dev/null 2>&1
        echo $((($(date +%s%N) - start) / 1000000))
    }
    for round in 1 2 3 4 5; do
        window_pass
        tool_full=$(tool_ms full.trc) tool_tiny=$(tool_ms tiny.trc)
        echo "  the window $window ms, korvalen-decode.exe $((tool_full - tool_tiny)) ms" \
            "($tool_full - $tool_tiny)"
    done

    cpu_for_60s() {  # LABEL
        local exe_pid server_pid before_exe before_server used_exe used_server hz
        exe_pid=$(pgrep -f 'C:\\Korvalen\\Korvalen.exe' | tail -n 1)
        server_pid=$(pgrep -f wineserver | head -n 1)
        ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
        sleep 5  # past the start
        before_exe=$(ticks "$exe_pid") before_server=$(ticks "$server_pid")
        sleep 60
        used_exe=$(($(ticks "$exe_pid") - before_exe))
        used_server=$(($(ticks "$server_pid") - before_server))
        hz=$(getconf CLK_TCK)
        awk -v e="$used_exe" -v s="$used_server" -v hz="$hz" -v what="$1" 'BEGIN {
            printf "  %s, 60 s: Korvalen.exe %.2f s, wineserver %.2f s: %.3f %% of a core together\n",
                what, e / hz, s / hz, 100 * (e + s) / hz / 60 }'
    }
    echo "Idle (Korvalen.exe and wineserver):"
    run_program wine-idle --flash "$work/flash-small.bin" --record-every 0
    cpu_for_60s "the port open"
    kill -USR2 "${pids[-2]}"  # the adapter pulled: the port is lost and tried every 2 s
    for _ in $(seq 50); do
        [ "$(driver status 1)" = "Ошибка соединения!" ] && break
        sleep 0.1
    done
    cpu_for_60s "a lost port tried again"
fi
