#!/usr/bin/env bash
# A short run of one fuzz target from its committed corpus (regression inputs included):
#   smoke.sh FUZZER CORPUS-FOLDER [SECONDS]
# New inputs go to a scratch folder, so the committed corpus stays as it is; an input that
# crashes is kept in findings/<target>/ beside the fuzzer, and the test fails.
set -euo pipefail
fuzzer=$1
corpus=$2
seconds=${3:-20}
findings="$(dirname "$fuzzer")/findings/$(basename "$fuzzer")"
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The decoding pass target writes its dump and InBox anew for every input: in memory when
# the machine has a memory file system, as a disk makes it a hundred times slower.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$scratch" "$corpus"
