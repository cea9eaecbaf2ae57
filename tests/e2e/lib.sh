# Shared by the end-to-end tests: each test sources this file, calls e2e_begin and then
# drives Korvalen.exe through the driver. Every test gets its own copy of the template
# Wine prefix and its own Xvfb display; e2e_end (run on any exit) stops wineserver and
# Xvfb and removes the copy, keeping the logs and screenshots in the results folder.
set -euo pipefail

WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
# Quiet Wine; no downloads of Mono or Gecko; no menu entries of this machine's desktop
# for the shortcuts an installer makes; UTF-8 so that Cyrillic arguments and output
# cross between bash and the Windows programs intact.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8

: "${KORVALEN_EXE:?}" "${KORVALEN_DRIVER:?}" "${KORVALEN_E2E_TEMPLATE:?}" "${KORVALEN_E2E_RESULTS:?}"
: "${KORVALEN_SIM:=}"  # the native korvalen-sim, for the tests that read the flash

# Where the program lives inside the prefix, as Windows and as Linux sees it.
PROGRAM_WIN='C:\Korvalen'
PROGRAM_EXE='C:\Korvalen\Korvalen.exe'

XVFB_PID=
WATCHDOG_PID=
E2E_WORK=
PROGRAM_PIDS=()
SIM_PIDS=()

fail() {
    echo "FAIL: $*" >&2
    screenshot failure || true
    exit 1
}

# wait_until SECONDS WHAT CONDITION: until the shell command line CONDITION succeeds (it
# is evaluated again every tenth of a second, in the caller's variables: a function's
# locals, not its positional parameters); after SECONDS the test fails, saying that it
# waited for WHAT. The tests wait with it for events, never for a time.
wait_until() {
    local wait_until_deadline=$((SECONDS + $1))
    until eval "$3"; do
        [ $SECONDS -lt $wait_until_deadline ] || fail "waited $1 s for $2"
        sleep 0.1
    done
}

# Starts an X server on a free display; Xvfb picks the number itself and reports it.
start_xvfb() {
    local display_file=$1/display
    Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    wait_until 10 "Xvfb to start" '[ -s "$display_file" ] || ! kill -0 "$XVFB_PID" 2>/dev/null'
    [ -s "$display_file" ] || fail "Xvfb died"
    export DISPLAY=":$(head -n1 "$display_file")"
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

e2e_end() {
    local status=$?
    [ -z "$WATCHDOG_PID" ] || kill "$WATCHDOG_PID" 2>/dev/null || true
    local sim
    for sim in "${SIM_PIDS[@]}"; do
        kill "$sim" 2>/dev/null || true
        wait "$sim" 2>/dev/null || true
    done
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        "$WINESERVER" -k 2>/dev/null || true
        timeout 20 "$WINESERVER" -w 2>/dev/null || true
    fi
    stop_xvfb
    [ -z "$E2E_WORK" ] || rm -rf "$E2E_WORK"
    exit $status
}

# e2e_begin NAME: a fresh prefix copy, a display, an empty program folder.
e2e_begin() {
    TEST_NAME=$1
    RESULTS=$KORVALEN_E2E_RESULTS/$TEST_NAME
    rm -rf "$RESULTS"
    mkdir -p "$RESULTS"
    [ -d "$KORVALEN_E2E_TEMPLATE/drive_c" ] || { echo "no template prefix" >&2; exit 1; }
    E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/korvalen-e2e-$TEST_NAME.XXXXXX")
    trap e2e_end EXIT
    trap 'echo "FAIL: stopped" >&2; exit 130' INT TERM
    # A test that hangs ends itself before ctest's time-out would kill it outright, so
    # that wineserver and Xvfb are still cleaned up.
    (
        sleep "${KORVALEN_E2E_TEST_SECONDS:-100}" &
        trap 'kill $! 2>/dev/null; exit 0' TERM
        wait $! && kill -TERM $$
    ) >/dev/null 2>&1 &
    WATCHDOG_PID=$!
    cp -a "$KORVALEN_E2E_TEMPLATE" "$E2E_WORK/prefix"
    export WINEPREFIX=$E2E_WORK/prefix
    start_xvfb "$E2E_WORK"
    PROGRAM_DIR=$WINEPREFIX/drive_c/Korvalen
    mkdir -p "$PROGRAM_DIR"
    cp "$KORVALEN_EXE" "$PROGRAM_DIR/Korvalen.exe"
}

# Starts Korvalen.exe in the background; its Linux process id goes to PROGRAM_PID.
start_program() {
    local log=$RESULTS/program-${#PROGRAM_PIDS[@]}.log
    (cd "$PROGRAM_DIR" && exec "$WINE" "$PROGRAM_EXE") >"$log" 2>&1 &
    PROGRAM_PID=$!
    PROGRAM_PIDS+=("$PROGRAM_PID")
}

# wait_exit PID SECONDS WHAT: until the process has ended; WHAT names the end awaited.
wait_exit() {
    local exit_pid=$1
    wait_until "$2" "$3" '! kill -0 "$exit_pid" 2>/dev/null'
    wait "$exit_pid" 2>/dev/null || true
}

running() { kill -0 "$1" 2>/dev/null; }

# The driver, run in the test's prefix and display. Now and then, on a loaded machine, a
# Wine process ends at start without running at all (seen in CI: exit status 1, nothing
# printed, not even the driver's own error). A run that failed silently is tried again;
# a run that printed anything or succeeded stands, so no action is ever done twice.
driver() {
    local attempt status out err
    err=$(mktemp)
    for attempt in 1 2 3; do
        status=0
        # A driver call never outlives its use: a program that stopped answering fails the
        # test instead of holding it until ctest kills it without cleaning up.
        out=$(timeout 40 "$WINE" "$KORVALEN_DRIVER" "$@" 2>"$err") || status=$?
        if [ $status -eq 0 ] || [ -n "$out" ] || [ -s "$err" ]; then
            break
        fi
        echo "note: driver $1 ended silently with status $status (try $attempt)" >&2
        sleep 0.5
    done
    cat "$err" >&2
    rm -f "$err"
    [ -z "$out" ] || printf '%s\n' "$out"
    return $status
}

# expect WHAT ACTUAL EXPECTED
expect() {
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
    echo "ok: $1"
}

# expect_control ID TEXT [--window HWND]: the text of a control of the main window.
expect_text() {
    local id=$1 text=$2
    shift 2
    expect "text of $id" "$(driver "$@" text "$id")" "$text"
}

screenshot() {
    [ -n "${DISPLAY:-}" ] && import -display "$DISPLAY" -window root "$RESULTS/$1.png"
}

# answer_port_error [REASON]: answers the port message that every start shows until a
# reader is connected; with REASON, checks its second line, which says why.
answer_port_error() {
    local text
    text=$(driver answer 'Ошибка соединения с COM-портом!' 1 15000) || true
    expect "port message" "$(head -n 1 <<<"$text")" "Ошибка соединения с COM-портом!"
    [ $# -eq 0 ] || expect "why the port did not open" "$(sed -n 2p <<<"$text")" "$1"
}

# write_ini LINE...: the settings file, each line ended by CR LF, in code page 1251.
write_ini() {
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP1251 >"$PROGRAM_DIR/Korvalen.ini"
}

default_ini_lines() {
    printf '%s\r\n' UseGlobalID0 GlobalID9999 COM1 'InFileC:\Korvalen\Data\Korvalen.trc' \
        'InboxDirC:\Korvalen\InBox\' Use2D0 MultiStart1 MinTray0 IndInNum0 IndInStatus0 \
        IndInChk0
}

# wait_list COUNT: the log list's lines, once it holds at least COUNT of them.
wait_list() {
    local list_count=$1
    wait_until 10 "$1 lines in the log list" '[ "$(driver list 1023 | grep -c "")" -ge "$list_count" ]'
    driver list 1023
}

# start_sim NAME [OPTION...]: a simulated reader (korvalen-sim) on a pseudo-terminal of
# its own, its event log in $RESULTS/sim-NAME.log (SIM_LOG). Its device goes to
# SIM_DEVICE, its process id to SIM_PID; it ends with the test.
start_sim() {
    local name=$1
    shift
    [ -x "$KORVALEN_SIM" ] || fail "no korvalen-sim (KORVALEN_SIM=$KORVALEN_SIM)"
    local out=$E2E_WORK/sim-$name.out
    SIM_LOG=$RESULTS/sim-$name.log
    "$KORVALEN_SIM" --log "$SIM_LOG" --exit-with-parent "$@" >"$out" 2>"$RESULTS/sim-$name.err" </dev/null &
    SIM_PID=$!
    SIM_PIDS+=("$SIM_PID")
    wait_until 10 "the simulator's device" '[ -s "$out" ]'
    SIM_DEVICE=$(head -n 1 "$out")
}

# map_port COMn DEVICE: the program's COMn leads to DEVICE. Written into the prefix's
# registry file before Wine starts in it, which is quicker than "wine reg add" and a
# restart of wineserver. A port the prefix has no entry for gets one.
map_port() {
    if ! grep -q "^\"$1\"=" "$WINEPREFIX/system.reg"; then
        sed -i -e '/^\[Software\\\\Wine\\\\Ports\]/,/^#time=/{/^#time=/a\' \
            -e "\"$1\"=\"\"" -e '}' "$WINEPREFIX/system.reg"
    fi
    sed -i "s|^\"$1\"=\"[^\"]*\"|\"$1\"=\"$2\"|" "$WINEPREFIX/system.reg"
    grep -q "^\"$1\"=\"$2\"" "$WINEPREFIX/system.reg" || fail "cannot map $1"
}

# wait_sim_log TEXT [SECONDS]: until the simulator has logged a line with TEXT.
wait_sim_log() {
    local sim_text=$1
    wait_until "${2:-10}" "the simulator to log '$1'" 'grep -q -- "$sim_text" "$SIM_LOG" 2>/dev/null'
}

# sim_count TEXT: how many lines of the simulator's log hold TEXT.
sim_count() {
    grep -c -- "$1" "$SIM_LOG" 2>/dev/null || true
}

# wait_summaries COUNT [SECONDS]: until the log list holds COUNT pass summaries and the
# window is ready again (the last pass has given the decode button back); prints the list.
wait_summaries() {
    local summary_count=$1
    wait_until "${2:-30}" "$1 summaries in the log list" \
        '[ "$(driver list 1023 | grep -c "^В файле '"'"'")" -ge "$summary_count" ] &&
        [ "$(driver text 1000)" = "Декодировать файл" ]'
    driver list 1023
}
