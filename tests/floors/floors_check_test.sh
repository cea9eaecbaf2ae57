#!/usr/bin/env bash
# The floors' check (cmake/check_floors.cmake) on a copy of the tree: clean, it passes;
# with one include planted that runs up a floor, sideways, out of the core into the
# window, or climbs by "../", it fails and names the file. The real tree is never touched.
# Usage: floors_check_test.sh SOURCE_DIR CMAKE
set -euo pipefail
source_dir=$1
cmake=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

folders=(cmake platform record output settings decode worker serial ui app tools)
copy() {
    rm -rf "$work/tree" && mkdir "$work/tree"
    for folder in "${folders[@]}"; do cp -r "$source_dir/$folder" "$work/tree/"; done
}
check() { "$cmake" -DSOURCE_DIR="$work/tree" -P "$work/tree/cmake/check_floors.cmake" 2>&1; }

copy
check >"$work/out" || { echo "FAIL: the clean tree does not pass"; cat "$work/out"; exit 1; }

failures=0
# file that gets the include        the include                 why it must fail
while read -r file header why; do
    copy
    printf '#include "%s"\n' "$header" >>"$work/tree/$file"
    if check >"$work/out"; then
        echo "FAIL: $why ($file including $header) passed the check"
        failures=$((failures + 1))
    elif ! grep -qF "$file: #include \"$header\"" "$work/out"; then
        echo "FAIL: $why: the check failed without naming $file"
        cat "$work/out"
        failures=$((failures + 1))
    fi
done <<'CASES'
decode/route.h                 serial/capture.h              up a floor
record/mrv_message.h           output/message_file.h         up to the writers
settings/settings.h            record/mrv_message.h          sideways
serial/capture.h               app/ui_state.h                a subsystem into the window
worker/road_journal.cpp        ui/message_box_win32.h        a subsystem into the window's helpers
tools/read/run_record.h        app/main_dialog_win32.h       a tool into the window
platform/file.h                ../decode/route.h             a path that climbs
CASES
[ $failures -eq 0 ] && echo "floors check: every planted include fails it"
exit $((failures > 0))
