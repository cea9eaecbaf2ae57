#!/usr/bin/env bash
# korvalen-decode against GPSBabel, what an operator would otherwise use to turn logger
# data into routes: the same fixes as a dump and as NMEA ($GPRMC and $GPGGA per fix),
# each program's best of five runs, TZ set for both (GPSBabel looks at the zone file for
# every fix without it). Then the pass's throughput on a dump of about 55 MB with its
# message files. Needs the native build and Debian's gpsbabel.
#   bench/peer.sh [RECORDS [OBJECTS]]      (default 100000 records of 60 objects)
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-100000} objects=${2:-60}
inputs=build/native/bench/korvalen-peer-inputs
decode=build/native/tools/korvalen-decode
command -v gpsbabel >/dev/null || { echo "needs gpsbabel (apt-get install gpsbabel)" >&2; exit 1; }
[ -x "$inputs" ] && [ -x "$decode" ] || { echo "needs the native build (scripts/build native)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/korvalen-peer.XXXXXX")
trap 'rm -rf "$work"' EXIT
export TZ=UTC LC_ALL=C

# best_of N COMMAND...: the shortest wall time of N runs, in seconds. $before_each, when
# set, runs untimed before each run (the previous run's output goes there, not in the time).
best_of() {
    local n=$1 best=
    shift
    for _ in $(seq "$n"); do
        local start end took
        [ -z "${before_each:-}" ] || "$before_each"
        start=$EPOCHREALTIME
        "$@" >/dev/null 2>&1
        end=$EPOCHREALTIME
        took=$(echo "$end - $start" | bc)
        if [ -z "$best" ] || [ "$(echo "$took < $best" | bc)" = 1 ]; then best=$took; fi
    done
    echo "$best"
}

echo "== $records records of $objects objects"
"$inputs" "$records" "$objects" "$work/dump.trc" "$work/fixes.nmea"
fixes=$(grep -c '^\$GPRMC' "$work/fixes.nmea")
true_program() { /bin/true; }
empty_inbox() { rm -rf "$work/inbox" "$work/out.gpx"; }
ours=$(before_each=empty_inbox best_of 5 "$decode" -o "$work/inbox" "$work/dump.trc")
message_files=$(ls "$work/inbox" | wc -l)
theirs=$(before_each=empty_inbox best_of 5 gpsbabel -i nmea -f "$work/fixes.nmea" -o gpx -F "$work/out.gpx")
echo "korvalen-decode: $ours s for $(stat -c %s "$work/dump.trc") bytes ($fixes fixes, $message_files message files)"
echo "gpsbabel:        $theirs s for $(stat -c %s "$work/fixes.nmea") bytes of NMEA"
echo "starting a program that does nothing: $(best_of 5 true_program) s"
echo "per fix: korvalen-decode $(echo "scale=0; $ours * 1000000000 / $fixes" | bc) ns, gpsbabel $(echo "scale=0; $theirs * 1000000000 / $fixes" | bc) ns: $(echo "scale=1; $theirs / $ours" | bc)x"

big=$((records * 8))
echo "== throughput: $big records of $objects objects, with message files"
"$inputs" "$big" "$objects" "$work/big.trc" "$work/big.nmea" >/dev/null
rm -f "$work/big.nmea"
took=$(before_each=empty_inbox best_of 3 "$decode" -o "$work/inbox" "$work/big.trc")
bytes=$(stat -c %s "$work/big.trc")
echo "korvalen-decode: $took s for $bytes bytes: $(echo "scale=1; $bytes / $took / 1000000" | bc) MB/s"
