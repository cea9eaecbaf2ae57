#!/usr/bin/env bash
# korvalen-decode from the outside. The sample dump holds three objects (0149, 0012,
# 0286), 26 points each on 02.11, 01.11 and 03.11.2007, and one power-on marker.
set -uo pipefail
decode=$1 inspect=$2 sample=$3
export TZ=UTC0 LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT ACTUAL EXPECTED
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}

# The summary lines as the log list shows them, top first; the date line varies, and its
# hour has one digit before ten o'clock.
out=$("$decode" -o "$work/in" "$sample" 2>"$work/err")
check "exit status of a good run" "$?" 0
check "summary" "$(printf '%s\n' "$out" | tail -n +2)" "В файле '$sample'
найдены маршруты объектов:
0286 (26 точек на временном интервале: 03.11.2007 - 03.11.2007)
0012 (26 точек на временном интервале: 01.11.2007 - 01.11.2007)
0149 (26 точек на временном интервале: 02.11.2007 - 02.11.2007)
Количество включений регистратора: 01"
check "date line" "$(printf '%s\n' "$out" | head -n 1 | sed -E 's/[0-9]/9/g; s/ 9:/ 99:/')" "99.99.9999 99:99:99"
check "nothing on standard error" "$(cat "$work/err")" ""
check "one message file per object, no CSV" \
    "$(ls "$work/in" | sed 's/^[0-9]\{8\}\./DDHHMMSS./' | sort)" \
    "DDHHMMSS.012
DDHHMMSS.149
DDHHMMSS.286"
last=$("$inspect" "$work"/in/*.012 | tail -n 1)
check "the last record carries the mark" "$(grep -c 'last' <<<"$last")" 1

# Both CSV kinds on request.
"$decode" -o "$work/csv" --csv-c --csv-n "$sample" >/dev/null 2>&1
check "CSV files" "$(ls "$work/csv" | grep csv | sort | tr '\n' ' ')" \
    "012C.csv 012N.csv 149C.csv 149N.csv 286C.csv 286N.csv "

# One number for every file; the command line overrides the settings file.
printf 'UseGlobalID1\r\nGlobalID42\r\nUse2D1\r\n' >"$work/Korvalen.ini"
"$decode" --settings "$work/Korvalen.ini" -o "$work/global" "$sample" >/dev/null 2>&1
check "global ID from the settings file" "$(ls "$work/global" | sed 's/^.*\.//' | sort -u)" "042"
"$decode" --settings "$work/Korvalen.ini" --global-id 7 -o "$work/override" "$sample" \
    >/dev/null 2>&1
check "global ID from the command line" "$(ls "$work/override" | sed 's/^.*\.//' | sort -u)" "007"
check "three files under one number" "$(ls "$work/override" | wc -l)" 3

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
(ulimit -f 4 && trap '' XFSZ && exec "$decode" -o "$work/small" "$sample") >/dev/null 2>"$work/err"
check "exit status of a full disk" "$?" 3
check "one message per file on a full disk" "$(grep -c '^Не удалось записать' "$work/err")" \
    "$(ls "$work/small" | wc -l)"
check "the count on a full disk" "$(tail -n 1 "$work/err" | sed -E 's/[0-9]+ records/N records/')" \
    "korvalen-decode: N records could not be written"

"$decode" --bogus >/dev/null 2>"$work/err"
check "exit status of an unknown option" "$?" 2
check "one-line hint" "$(tail -n 1 "$work/err")" "Try 'korvalen-decode --help'."
"$decode" --ignition IN4:1 "$sample" >/dev/null 2>&1
check "exit status of an input out of range" "$?" 2
"$decode" --assign-id 12 "$sample" >/dev/null 2>&1
check "exit status of an ID that is not four characters" "$?" 2

echo "$failures failed"
[ "$failures" -eq 0 ]
