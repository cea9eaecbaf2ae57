# The tools tests' checks, sourced: each check says "ok" or "FAIL" with what differs, and
# the script ends with end_checks, which counts the failures and gives the status.
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
end_checks() {
    echo "$failures failed"
    [ "$failures" -eq 0 ]
}
