#!/usr/bin/env bash
# korvalen-decode from the outside. The sample dump holds three objects (0149, 0012,
# 0286), 26 points each on 02.11, 01.11 and 03.11.2007, and one power-on marker. The map
# files are checked against the GPX 1.1 and KML 2.2 schemas in DATA (xmllint). The clock
# is frozen, so names and the date line are known; the bytes of every output are
# compared in reference_outputs_test.sh.
set -uo pipefail
decode=$1 inspect=$2 sample=$3 data=$4
export TZ=UTC0 LC_ALL=C.UTF-8 KORVALEN_FROZEN_TIME="2026-12-09 07:10:52"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "$0")/check.sh"

# The summary lines as the log list shows them, top first: the date line's hour has one
# digit before ten o'clock. The message files are named by the day and time of the run.
out=$("$decode" -o "$work/in" "$sample" 2>"$work/err")
check "exit status of a good run" "$?" 0
check "summary" "$out" "09.12.2026 7:10:52
В файле '$sample'
найдены маршруты объектов:
0286 (26 точек на временном интервале: 03.11.2007 - 03.11.2007)
0012 (26 точек на временном интервале: 01.11.2007 - 01.11.2007)
0149 (26 точек на временном интервале: 02.11.2007 - 02.11.2007)
Количество включений регистратора: 01"
check "nothing on standard error" "$(cat "$work/err")" ""
check "one message file per object, no CSV" "$(ls "$work/in" | tr '\n' ' ')" \
    "09071052.012 09071052.149 09071052.286 "
# A name that is taken moves on by a second.
"$decode" -o "$work/twice" "$sample" >/dev/null 2>&1
"$decode" -o "$work/twice" "$sample" >/dev/null 2>&1
check "names of a second run" "$(ls "$work/twice" | grep -c '^09071053\.')" 3

# Without the variable (or with it empty) the tool runs on the system clock; a value
# that is no local time is a usage error.
out=$(KORVALEN_FROZEN_TIME= "$decode" -o "$work/now" "$sample" 2>&1)
check "date line of the system clock" "$(head -n 1 <<<"$out" | sed -E 's/[0-9]/9/g; s/ 9:/ 99:/')" \
    "99.99.9999 99:99:99"
check "names of the system clock" "$(ls "$work/now" | sed 's/^[0-9]\{8\}\./DDHHMMSS./' | tr '\n' ' ')" \
    "DDHHMMSS.012 DDHHMMSS.149 DDHHMMSS.286 "
KORVALEN_FROZEN_TIME="2026-12-09 7:10:52" "$decode" -o "$work/frozen-bad" "$sample" \
    >"$work/out" 2>"$work/err"
check "exit status of a bad frozen time" "$?" 2
check "message of a bad frozen time" "$(cat "$work/err")" \
    "korvalen-decode: KORVALEN_FROZEN_TIME must be a local time of this machine's zone as YYYY-MM-DD hh:mm:ss, not '2026-12-09 7:10:52'"
check "nothing written with a bad frozen time" "$(cat "$work/out"; ls "$work/frozen-bad" 2>&1 | grep -vc 'No such')" 0
last=$("$inspect" "$work"/in/*.012 | tail -n 1)
check "the last record carries the mark" "$(grep -c 'last' <<<"$last")" 1

# Both CSV kinds on request.
"$decode" -o "$work/csv" --csv-c --csv-n "$sample" >/dev/null 2>&1
check "CSV files" "$(ls "$work/csv" | grep csv | sort | tr '\n' ' ')" \
    "012C.csv 012N.csv 149C.csv 149N.csv 286C.csv 286N.csv "

# A run ended after its CSV lines but before its moves leaves them to the next run, which
# takes them back before it decodes again: every line once, every record once.
"$decode" -o "$work/csv-once" --csv-c --csv-n "$sample" >/dev/null 2>&1
KORVALEN_CRASH_AT=staged "$decode" -o "$work/csv-killed" --csv-c --csv-n "$sample" >/dev/null 2>&1
check "status of the run ended before its moves" "$?" 86
"$decode" -o "$work/csv-killed" --csv-c --csv-n "$sample" >/dev/null 2>&1
check "each CSV line once after the rerun" "$(cat "$work"/csv-killed/*.csv | md5sum)" \
    "$(cat "$work"/csv-once/*.csv | md5sum)"
check "each message file once after the rerun" "$(ls "$work/csv-killed" | grep -vc csv)" 3
check "no staging folder left" "$(ls -a "$work/csv-killed" | grep -c staging)" 0

# One number for every file; the command line overrides the settings file.
printf 'UseGlobalID1\r\nGlobalID42\r\nUse2D1\r\n' >"$work/Korvalen.ini"
"$decode" --settings "$work/Korvalen.ini" -o "$work/global" "$sample" >/dev/null 2>&1
# Files of one number made in one second take the next seconds.
check "global ID from the settings file" "$(ls "$work/global" | tr '\n' ' ')" \
    "09071052.042 09071053.042 09071054.042 "
"$decode" --settings "$work/Korvalen.ini" --global-id 7 -o "$work/override" "$sample" \
    >/dev/null 2>&1
check "global ID from the command line" "$(ls "$work/override" | sed 's/^.*\.//' | sort -u)" "007"
check "three files under one number" "$(ls "$work/override" | wc -l)" 3

# Routes on a map in a folder of their own: valid against the schemas, every position of
# the message file in its order and time, the power-on as a waypoint; the message files
# are the same as without maps. A second run keeps the first run's maps.
"$decode" -o "$work/mapped" --gpx --kml --map-dir "$work/maps" "$sample" >/dev/null 2>"$work/err"
check "exit status with maps" "$?" 0
check "nothing on standard error with maps" "$(cat "$work/err")" ""
check "map files" "$(ls "$work/maps" | tr '\n' ' ')" \
    "0012.gpx 0012.kml 0149.gpx 0149.kml 0286.gpx 0286.kml "
check "no maps beside the message files" "$(ls "$work/mapped" | grep -c -v '^[0-9]\{8\}\.')" 0
for map in "$work"/maps/*.gpx; do
    check "$(basename "$map") is valid GPX 1.1" \
        "$(xmllint --noout --schema "$data/gpx-1.1.xsd" "$map" 2>&1)" "$map validates"
done
for map in "$work"/maps/*.kml; do
    check "$(basename "$map") is valid KML 2.2" \
        "$(xmllint --noout --schema "$data/kml-2.2/ogckml22.xsd" "$map" 2>&1)" "$map validates"
done
# "lon lat time" of every position record of a message file and of every track point of
# a GPX file, times as "YYYY-MM-DD hh:mm:ss" (the zone is UTC here). The dispatcher gets a
# standing run at the time the run began; the track has each fix at its own time.
inspected() {
    "$inspect" "$1" | grep '(position' | sed -E \
        's/.*, ([0-9]{2})\.([0-9]{2})\.([0-9]{4}) ([0-9:]{8}), .* lon ([0-9.-]+), lat ([0-9.-]+),.*/\5 \6 \3-\2-\1 \4/'
}
mapped() {
    sed -n -E 's|.*<trkpt lat="([^"]*)" lon="([^"]*)"><time>([^T]*)T([^Z]*)Z.*|\2 \1 \3 \4|p' "$1"
}
for object in 012 149 286; do
    mapped "$work/maps/0$object.gpx" >"$work/track"
    inspected "$work"/mapped/*."$object" >"$work/positions"
    check "track of $object: the positions of its message file" \
        "$(cut -d' ' -f1,2 "$work/track")" "$(cut -d' ' -f1,2 "$work/positions")"
    check "track of $object: no point before the time the dispatcher has" \
        "$(paste -d' ' "$work/positions" "$work/track" | awk '$3" "$4 > $7" "$8' | wc -l)" 0
    check "message file of $object as without maps" \
        "$("$inspect" "$work"/mapped/*."$object")" "$("$inspect" "$work"/in/*."$object")"
done
check "the power-on" "$(grep -h -A2 '<wpt' "$work"/maps/*.gpx | sed -n 's/ *<name>\(.*\)<.*/\1/p')" \
    "Включение регистратора"
"$decode" -o "$work/mapped" --gpx --map-dir "$work/maps" "$sample" >/dev/null 2>&1
check "a second run adds maps" "$(ls "$work/maps" | grep -c '_001\.gpx$')" 3
"$decode" -o "$work/beside" --kml "$sample" >/dev/null 2>&1
check "without --map-dir beside the message files" "$(ls "$work/beside" | grep -c 'kml$')" 3

# Failures: a missing dump, usage errors.
"$decode" -o "$work/missing" "$work/no-such.trc" >"$work/out" 2>"$work/err"
check "exit status of a missing dump" "$?" 1
check "message of a missing dump" "$(head -n 1 "$work/err")" "Анализ файла: Не удалось открыть файл."
check "the reason of a missing dump" "$(tail -n 1 "$work/err")" \
    "korvalen-decode: $work/no-such.trc: No such file or directory"
# A folder is no dump: the same message, the system's reason, status 1.
"$decode" -o "$work/folder-out" "$work" >"$work/out" 2>"$work/err"
check "exit status of a folder as the dump" "$?" 1
check "messages of a folder as the dump" "$(cat "$work/err")" "Анализ файла: Не удалось открыть файл.
$work
korvalen-decode: $work: Is a directory"

# Output that could not be written: status 3 and the count, the message once per file.
: >"$work/not-a-folder"
"$decode" -o "$work/not-a-folder/in" "$sample" >/dev/null 2>"$work/err"
check "exit status of an InBox that cannot be written" "$?" 3
check "lost records of an InBox that cannot be written" "$(tail -n 1 "$work/err")" \
    "korvalen-decode: 88 records could not be written"
# A folder nobody may write into, root included (immutable; where the file system allows it).
mkdir "$work/read-only"
if chattr +i "$work/read-only" 2>/dev/null; then
    "$decode" -o "$work/read-only" "$sample" >/dev/null 2>"$work/err"
    status=$?
    chattr -i "$work/read-only"
    check "exit status of a read-only InBox" "$status" 3
    check "each message file of a read-only InBox told" \
        "$(grep -c '^Не удалось открыть файл на запись. Код ошибки: ' "$work/err")" 3
fi
(ulimit -f 4 && trap '' XFSZ && exec "$decode" -o "$work/small" "$sample") >/dev/null 2>"$work/err"
check "exit status of a full disk" "$?" 3
# One message per file (the sample has three objects), and none of the files delivered:
# a rerun once there is room gives every record once.
check "one message per file on a full disk" "$(grep -c '^Не удалось записать' "$work/err")" 3
check "nothing delivered on a full disk" "$(ls -A "$work/small" | wc -l)" 0
check "the count on a full disk" "$(tail -n 1 "$work/err" | sed -E 's/[0-9]+ records/N records/')" \
    "korvalen-decode: N records could not be written"
# Maps that cannot be written: status 3 as well, though every record reached the InBox.
"$decode" -o "$work/maps-lost" --gpx --map-dir "$work/not-a-folder/maps" "$sample" \
    >/dev/null 2>"$work/err"
check "exit status of maps that cannot be written" "$?" 3
check "each lost map named" "$(grep -c "^$work/not-a-folder/maps/0[0-9]*\.gpx$" "$work/err")" 3

"$decode" --bogus >/dev/null 2>"$work/err"
check "exit status of an unknown option" "$?" 2
check "one-line hint" "$(tail -n 1 "$work/err")" "Try 'korvalen-decode --help'."
"$decode" --ignition IN4:1 "$sample" >/dev/null 2>&1
check "exit status of an input out of range" "$?" 2
"$decode" --assign-id 12 "$sample" >/dev/null 2>&1
check "exit status of an ID that is not four characters" "$?" 2

"$decode" --map-dir "$work/maps" "$sample" >/dev/null 2>"$work/err"
check "exit status of --map-dir without a map" "$?" 2

# The help names every option; the versions name the build's revision.
"$decode" --help >"$work/help"
for option in --inbox --csv-c --csv-n --gpx --kml --map-dir --settings --use-2d --global-id \
    --ignition --assign-id --no-reset-alarm --help --version; do
    check "help describes $option" "$(grep -c -- "^ *\(-[ho], \)\?$option " "$work/help")" 1
done
check "help describes the frozen clock" "$(grep -c '^Environment: KORVALEN_FROZEN_TIME=' "$work/help")" 1
for tool in "$decode" "$inspect"; do
    name=$(basename "$tool")
    check "version of $name" "$("$tool" --version | sed -E 's/revision [^)]+\)$/revision R)/')" \
        "${name%.exe} 1.4 (revision R)"
done

end_checks
