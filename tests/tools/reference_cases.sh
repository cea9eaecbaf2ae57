# The reference cases of korvalen-decode, shared by reference_outputs_test.sh, which
# compares a run with the files kept in tests/data/reference/<case>/, and
# update_reference_outputs.sh, which writes those files. Sourced, not run.
#
# Every run is pinned: the clock stopped at one local time, a zone three hours east of
# Greenwich with no change of time (the UTC times differ from the local ones), the C
# locale. Each case writes every output the tool has into one folder.
export KORVALEN_FROZEN_TIME="2026-12-09 17:10:52" TZ=MSK-3 LC_ALL=C
reference_options=(--csv-c --csv-n --gpx --kml)

# The cases: a name, the dump in tests/data/, the options beyond the outputs.
reference_cases=(
    # The sample of three vehicles: positions, inputs, stale runs, one power-on.
    "sample sample.trc"
    # Frames cut, doubled, too long, broken, noise, a transfer that broke off: only the
    # whole records count.
    "damaged damaged.trc"
    # Power-ons (one counted for several markers, none for stale fixes) and inputs with
    # the ignition indicator: a vehicle that stands while its ignition is off.
    "power_ons power_ons.trc --ignition IN1:1"
    # Records without ID, short and long, given the ID of another object's records.
    "without_id without_id.trc --assign-id 0042"
)

# decode_case DECODE DATA WORK NAME DUMP [OPTION...]: runs the case in WORK/NAME, as a user
# would in a folder holding the dump: InBox/ with every file, summary.txt (standard
# output), messages.txt (standard error); prints the exit status.
decode_case() {
    local decode=$1 data=$2 work=$3 name=$4 dump=$5
    shift 5
    mkdir -p "$work/$name"
    cp "$data/$dump" "$work/$name/$dump"
    (cd "$work/$name" && "$decode" -o InBox "${reference_options[@]}" "$@" "$dump" \
        >summary.txt 2>messages.txt)
    echo $?
    rm "$work/$name/$dump"
}
