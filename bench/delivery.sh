#!/usr/bin/env bash
# korvalen-decode's delivery against the least that one safe against a power cut costs:
# korvalen-delivery-floor writes the same message files (as many, as large) into a staging
# folder, starts their write-back together, syncs each and the folder, renames them into
# the output folder and syncs it. Each is timed as a whole process, the two in turn, the
# output folder removed before each run (inside the time of both alike); then the
# medians and the median of the ratios pair by pair. On the disk the work folder is on
# (set TMPDIR to choose it). Needs the native build.
#   bench/delivery.sh [RECORDS [OBJECTS [RUNS]]]   (default 240000 records of 60 objects, 9 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-240000} objects=${2:-60} runs=${3:-9}
inputs=build/native/bench/korvalen-peer-inputs
floor=build/native/bench/korvalen-delivery-floor
decode=build/native/tools/korvalen-decode
for tool in "$inputs" "$floor" "$decode"; do
    [ -x "$tool" ] || { echo "needs the native build (scripts/build native): $tool" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/var/tmp}/korvalen-delivery.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C KORVALEN_FROZEN_TIME="2026-12-09 07:10:52"

"$inputs" "$records" "$objects" "$work/dump.trc" "$work/fixes.nmea" >/dev/null
rm -f "$work/fixes.nmea"
"$decode" -o "$work/files" "$work/dump.trc" >/dev/null
echo "$records records of $objects objects: $(stat -c %s "$work/dump.trc") bytes of dump," \
    "$(ls "$work/files" | wc -l) message files of $(du -sb "$work/files" | cut -f1) bytes"

# seconds COMMAND...: one run's wall time.
seconds() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1
    echo "$EPOCHREALTIME - $start" | bc
}
decode_run() { rm -rf "$work/out"; "$decode" -o "$work/out" "$work/dump.trc"; }
floor_run() { rm -rf "$work/floor"; "$floor" "$work/files" "$work/floor"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

decode_run >/dev/null 2>&1 && floor_run  # warm-up
: >"$work/decode" && : >"$work/floor-times" && : >"$work/ratios"
for _ in $(seq "$runs"); do
    a=$(seconds decode_run) b=$(seconds floor_run)
    echo "$a" >>"$work/decode"
    echo "$b" >>"$work/floor-times"
    echo "scale=3; $a / $b" | bc >>"$work/ratios"
done
echo "korvalen-decode: median $(median <"$work/decode") s"
echo "the floor:       median $(median <"$work/floor-times") s"
echo "ratio, pair by pair: median $(median <"$work/ratios") (from $(sort -n "$work/ratios" | head -n 1) to $(sort -n "$work/ratios" | tail -n 1))"
