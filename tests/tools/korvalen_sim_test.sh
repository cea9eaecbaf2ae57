#!/usr/bin/env bash
# korvalen-sim from the outside: help, usage errors, failures, standard input, signals,
# and a dump read from its pseudo-terminal that korvalen-decode turns into routes.
set -uo pipefail
sim=$1 decode=$2
export TZ=UTC0 LC_ALL=C.UTF-8
work=$(mktemp -d)
sim_pid=
trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT
source "$(dirname "$0")/check.sh"

"$sim" --help >"$work/help"
check "exit status of --help" "$?" 0
for option in --device --pace --flash --vehicles --days --size --all-with-id --seed --start \
    --record-every --noise --cut-at --stall-at --extra --vanish-at --faults-once --log \
    --journal --exit-with-parent --help --version; do
    check "help describes $option" "$(grep -c -- "^ *\(-h, \)\?$option[ =]" "$work/help")" 1
done
check "version line" "$("$sim" --version | sed -E 's/revision [^)]+\)$/revision R)/')" \
    "korvalen-sim 1.4 (revision R)"

# Usage errors: status 2, the reason and a one-line hint, nothing started.
while IFS='|' read -r why args; do
    # shellcheck disable=SC2086  # the arguments are split on purpose
    "$sim" $args >"$work/out" 2>"$work/err"
    check "exit status: $why" "$?" 2
    check "two lines on standard error: $why" "$(wc -l <"$work/err")" 2
    check "hint: $why" "$(tail -n 1 "$work/err")" "Try 'korvalen-sim --help'."
    check "nothing on standard output: $why" "$(cat "$work/out")" ""
done <<'CASES'
an unknown option|--bogus
a value missing|--days
a pace of zero|--pace 0
a pace that is no number|--pace fast
a date that does not exist|--start 2024-02-30
a date in another form|--start 10.03.2024
a stall without its length|--stall-at 100
no vehicles|--vehicles 0
a history larger than the flash|--size 40000000
a negative interval|--record-every -1
a value given to a flag|--faults-once=1
CASES

# Failures of the world: status 1 and a message that names the object.
"$sim" --flash "$work/missing.bin" >/dev/null 2>"$work/err"
check "exit status of a missing flash file" "$?" 1
check "message of a missing flash file" "$(cat "$work/err")" \
    "korvalen-sim: cannot open the flash file $work/missing.bin"
"$sim" --device /dev/null >/dev/null 2>"$work/err"
check "exit status of a device that is no serial line" "$?" 1
check "message of a device that is no serial line" "$(sed 's/:.*//' "$work/err")" \
    "korvalen-sim"
check "the device is named" "$(grep -c '/dev/null' "$work/err")" 1
"$sim" --log "$work/no-such-folder/sim.log" >/dev/null 2>"$work/err"
check "exit status of a log that cannot be created" "$?" 1
check "message of a log that cannot be created" "$(cat "$work/err")" \
    "korvalen-sim: cannot create the log $work/no-such-folder/sim.log"

# Standard input: "button" starts a new-data transfer, "quit" ends the simulator.
out=$(printf 'button\nhello\nquit\n' | "$sim" --pace max --log "$work/stdin.log")
check "exit status after quit" "$?" 0
check "first line is the pseudo-terminal" "$(sed -n 1p <<<"$out" | sed 's/[0-9]*$/N/')" "/dev/pts/N"
check "events of standard input" \
    "$(sed 's/^[0-9]*\.[0-9]* //' "$work/stdin.log" | grep -v '^start\|^transfer')" \
    "button
command (QND)
stdin hello
exit quit"

# A first read from the pseudo-terminal, as the program would make it, decodes into the
# routes of the default fleet: three vehicles with ID and one without.
coproc SIM { exec "$sim" --pace max --start 2024-03-10 --log "$work/read.log" </dev/null; }
sim_pid=$SIM_PID
read -r -t 10 pts <&"${SIM[0]}"
check "the simulator named its pseudo-terminal" "${pts%%[0-9]*}" "/dev/pts/"
exec 3<>"$pts"
printf '(QND)' >&3
timeout 3 cat <&3 >"$work/dump.trc" &
reader=$!
for _ in $(seq 100); do
    grep -q 'transfer-end complete' "$work/read.log" && break
    sleep 0.05
done
sleep 0.3
kill "$reader" 2>/dev/null
wait "$reader" 2>/dev/null
exec 3>&-
size=$(head -c 11 "$work/dump.trc" | cut -c5-10)
check "the dump holds what its header announces" "$(stat -c %s "$work/dump.trc")" \
    "$((16#$size + 11))"
"$decode" -o "$work/in" --assign-id 0560 "$work/dump.trc" >"$work/summary" 2>/dev/null
check "routes of the dump" "$(sed -n '4,7p' "$work/summary" | sed 's/ (.*: / /; s/)$//' | sort)" \
    "0012 07.03.2024 - 09.03.2024
0149 07.03.2024 - 09.03.2024
0286 07.03.2024 - 09.03.2024
0560 07.03.2024 - 09.03.2024"
check "power-ons" "$(tail -n 1 "$work/summary")" "Количество включений регистратора: 12"

kill -TERM "$sim_pid"
wait "$sim_pid"
check "exit status after SIGTERM" "$?" 0
sim_pid=
check "the log's last line" "$(tail -n 1 "$work/read.log" | sed 's/^[0-9.]* //')" \
    "exit signal Terminated"

end_checks
