#!/usr/bin/env bash
# korvalen-decode's outputs of the reference cases (reference_cases.sh) against the files
# kept in tests/data/reference/, byte for byte: the same set of files; texts compared with
# diff -u; message files with cmp and, where they differ, their records (korvalen-inspect)
# and their bytes. The small dumps themselves must be what korvalen-reference-dumps makes.
set -uo pipefail
decode=$(realpath "$1") inspect=$2 make_dumps=$3 data=$4
source "$(dirname "$0")/reference_cases.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $1"
    failures=$((failures + 1))
}
indented() { sed 's/^/    /'; }

mkdir "$work/dumps"
"$make_dumps" "$work/dumps"
for dump in "$work"/dumps/*.trc; do
    cmp "$data/$(basename "$dump")" "$dump" 2>&1 || fail "$(basename "$dump") is not what its recipe makes"
done

for entry in "${reference_cases[@]}"; do
    read -r -a words <<<"$entry"
    name=${words[0]}
    expected=$data/reference/$name
    got=$work/$name
    before=$failures
    status=$(decode_case "$decode" "$data" "$work" "${words[@]}")
    [ "$status" = 0 ] || fail "$name: exit status $status"
    files=$(diff -u <(cd "$expected" 2>/dev/null && find . -type f | sort) \
        <(cd "$got" && find . -type f | sort))
    [ -z "$files" ] || { fail "$name: other files than the reference's" && indented <<<"$files"; }
    while read -r file; do
        [ -f "$got/$file" ] && ! cmp -s "$expected/$file" "$got/$file" || continue
        fail "$name: $file differs"
        case $file in
        *.txt | *.csv | *.gpx | *.kml)
            diff -u "$expected/$file" "$got/$file" | head -n 60
            ;;
        *)
            cmp "$expected/$file" "$got/$file"
            diff -u <("$inspect" "$expected/$file" 2>&1) <("$inspect" "$got/$file" 2>&1) |
                head -n 30
            diff -u <(od -A d -t x1 "$expected/$file") <(od -A d -t x1 "$got/$file") | head -n 30
            ;;
        esac | indented
    done < <(cd "$expected" 2>/dev/null && find . -type f | sort)
    [ "$failures" -gt "$before" ] || echo "ok: $name"
done

echo "$failures failed"
[ "$failures" -eq 0 ]
