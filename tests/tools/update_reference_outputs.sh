#!/usr/bin/env bash
# Writes the reference outputs of korvalen-decode again: the small dumps of
# korvalen-reference-dumps into tests/data/, then every case of reference_cases.sh into
# tests/data/reference/<case>/.
#
# Use it only on purpose: when a case is added or changed, or when the tool's output is
# meant to change. Then read what changed (git diff; korvalen-inspect for message files)
# and commit it only when every changed byte is right. A failing reference test is never
# mended by running this alone.
#
#   tests/tools/update_reference_outputs.sh [BUILD_DIR]   (default: build/native)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/native}" && pwd)
data=$root/tests/data
source "$root/tests/tools/reference_cases.sh"

"$build/tests/tools/korvalen-reference-dumps" "$data"
rm -rf "$data/reference"
mkdir -p "$data/reference"
for entry in "${reference_cases[@]}"; do
    read -r -a words <<<"$entry"
    status=$(decode_case "$build/tools/korvalen-decode" "$data" "$data/reference" "${words[@]}")
    [ "$status" = 0 ] || { echo "case ${words[0]}: exit status $status" >&2; exit 1; }
done
echo "written: $(cd "$data/reference" && find . -type f | wc -l) files; now read them (git diff)"
