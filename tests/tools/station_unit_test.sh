#!/usr/bin/env bash
# The station's systemd unit (docs/korvalen-read@.service) against the tool it runs: its
# exposure as systemd-analyze rates it offline (at most 1.0), and every system call that
# korvalen-read makes in its own tools test, traced, is one the unit's system-call filter
# allows; otherwise the hardening would end the station (SIGSYS) in the field.
set -uo pipefail
unit=$1 read_test=$2
shift 2  # the read test's own arguments follow: korvalen-read, korvalen-sim, ...
read_tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/check.sh"

skip() {
    echo "SKIP: $*"
    exit 77
}
command -v systemd-analyze >/dev/null || skip "no systemd-analyze (Debian package systemd)"
command -v strace >/dev/null || skip "no strace (Debian package strace)"
strace -f -qq -o /dev/null true 2>"$work/strace.err" ||
    skip "strace cannot trace here (ptrace not permitted?): $(head -n 1 "$work/strace.err")"

# --- Exposure ------------------------------------------------------------------------
# Offline: the file itself is rated, no running systemd is asked. The threshold is in
# tenths of the shown level, so 10 fails anything above 1.0.
instance=$work/$(basename "$unit" .service | sed 's/@$//')@dev-serial-by\\x2did-usb\\x2dadapter.service
cp "$unit" "$work/$(basename "$unit")"
(cd "$work" && systemd-analyze security --offline=true --threshold=10 \
    "$(basename "$unit")") >"$work/security" 2>&1
check "systemd-analyze security --threshold=10 passes" "$?" 0
level=$(sed -n 's/^→ Overall exposure level for .*: \([0-9.]*\) .*/\1/p' "$work/security")
echo "exposure: $level"
check "exposure at most 1.0 (it is $level)" \
    "$(awk -v level="${level:-99}" 'BEGIN { print (level <= 1.0) ? "yes" : "no" }')" "yes"
check "an instance is rated as its template" \
    "$(systemd-analyze security --offline=true "$instance" 2>&1 | sed -n 's/^→ .*: \([0-9.]*\) .*/\1/p')" \
    "$level"

# --- The system calls the filter allows ----------------------------------------------
# SystemCallFilter= lines in order: the first allows a list, each "~" line takes calls
# away again and each other line adds some. A group (@name) stands for its calls and
# groups, as this system's systemd defines them.
expand() {
    local name
    for name in "$@"; do
        if [[ $name == @* ]]; then
            # shellcheck disable=SC2046  # a group's names, one a word
            expand $(systemd-analyze syscall-filter "$name" | sed '1d; s/^ *//; /^#/d; /^$/d')
        else
            echo "$name"
        fi
    done
}
: >"$work/allowed"
filters=0
while IFS= read -r value; do
    filters=$((filters + 1))
    if [[ $value == "~"* ]]; then
        # shellcheck disable=SC2086
        expand ${value#\~} | sort -u >"$work/taken"
        sort -u "$work/allowed" | comm -23 - "$work/taken" >"$work/kept"
        mv "$work/kept" "$work/allowed"
    else
        # shellcheck disable=SC2086
        expand $value >>"$work/allowed"
    fi
done < <(sed -n 's/^SystemCallFilter=//p' "$unit")
sort -u -o "$work/allowed" "$work/allowed"
check "the unit's filter is an allow list" \
    "$(sed -n 's/^SystemCallFilter=//p' "$unit" | head -n 1 | cut -c1)" "@"
echo "the filter allows $(wc -l <"$work/allowed") system calls"

# --- The calls the tool makes --------------------------------------------------------
# The whole tools test under strace; the calls counted are those of every process that
# executed korvalen-read, from its execve on, and of the threads it started.
strace -f -qq -e signal=none -s 256 -o "$work/trace" \
    bash "$read_test" "$@" >"$work/read_test.out" 2>&1
check "the tools test passes under strace" "$? $(tail -n 1 "$work/read_test.out")" "0 0 failed"
awk -v tool="\"$read_tool\"" '
    function call(line) { return substr(line, 1, index(line, "(") - 1) }
    # A clone'\''s, fork'\''s or vfork'\''s new process or thread, from the line with its result.
    function child(line, parts) {
        return match(line, /\) = [0-9]+$/) ? substr(line, RSTART + 4) : ""
    }
    {
        pid = $1
        # strace pads the process id to five characters.
        rest = substr($0, length(pid) + 2)
        sub(/^ +/, "", rest)
    }
    # First pass: which processes are the tool and which threads it started, and the
    # threads those threads started in turn (a job thread is started by another).
    NR == FNR {
        if (rest ~ /^execve\(/) {
            split(rest, args, ",")
            tool_pid[pid] = substr(args[1], 8) == tool
        } else if (rest ~ /^(clone|clone3|fork|vfork)\(/ && (tool_pid[pid] || started[pid])) {
            if ((n = child(rest)) != "") started[n] = 1
            else if (rest ~ /<unfinished \.\.\.>$/) pending[pid] = 1
        } else if (rest ~ /^<\.\.\. (clone|clone3|fork|vfork) resumed>/ && pending[pid]) {
            if ((n = child(rest)) != "") started[n] = 1
            delete pending[pid]
        }
        next
    }
    # Second pass: the calls of those, each once with its count.
    rest ~ /^execve\(/ { split(rest, args, ","); running[pid] = substr(args[1], 8) == tool }
    (running[pid] || started[pid]) && rest ~ /^[a-z_0-9]+\(/ { count[call(rest)]++ }
    END { for (name in count) print name, count[name] }
' "$work/trace" "$work/trace" | sort >"$work/made"
echo "korvalen-read made $(wc -l <"$work/made") different system calls:" \
    "$(cut -d' ' -f1 "$work/made" | tr '\n' ' ')"
check "the trace holds the tool's calls" "$(grep -c '^\(read\|write\|openat\|ioctl\) ' "$work/made")" 4
check "every call the tool makes is allowed by the unit (outside it: call, count)" \
    "$(join -v 1 "$work/made" "$work/allowed")" ""
end_checks
