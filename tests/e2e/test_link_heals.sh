#!/usr/bin/env bash
# The link follows the adapter by itself: pulled out while idle, the window says so within
# two seconds; plugged back, the port opens at once when Windows announces the device;
# the operator's own close stays closed while a reader is there; after sleep the port is
# opened again and a read completes.
source "$(dirname "$0")/lib.sh"
e2e_begin link_heals

readonly WM_TIMER=275 WM_DEVICECHANGE=537 WM_POWERBROADCAST=536
readonly DBT_DEVICEARRIVAL=32768 PBT_APMRESUMEAUTOMATIC=18 kReopenTimer=1

adapter=$E2E_WORK/adapter
start_sim first --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
ln -s "$SIM_DEVICE" "$adapter"
map_port COM1 "$adapter"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

# Pulled out while idle: state 2 within two seconds (ten failed polls are one).
kill -USR2 "$SIM_PID"
wait_sim_log "exit pulled" 5
pulled_at=$SECONDS
wait_until 4 "the port taken as lost" '[ "$(driver status 1)" = "Ошибка соединения!" ]'
[ $((SECONDS - pulled_at)) -le 2 ] || fail "the loss took $((SECONDS - pulled_at)) s"
expect_text 1026 "Ошибка соединения с COM-портом!"
expect "read buttons" "$(driver enabled 1004)" 0
screenshot lost

# Back in, and Windows announces the device: the port opens at once.
start_sim second --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
ln -sfn "$SIM_DEVICE" "$adapter"
driver send $WM_DEVICECHANGE $DBT_DEVICEARRIVAL 0 >/dev/null
expect "open at the device's arrival" "$(driver status 1)" "Соединение установлено"

# The operator's close stays closed: neither the device's arrival nor the retry timer
# opens it again (each message handled before the driver returns).
driver command 32783
expect "closed by the operator" "$(driver status 1)" "Ошибка соединения!"
driver send $WM_DEVICECHANGE $DBT_DEVICEARRIVAL 0 >/dev/null
driver send $WM_TIMER $kReopenTimer 0 >/dev/null
expect "still closed" "$(driver status 1)" "Ошибка соединения!"
driver command 32783
expect "opened by the operator" "$(driver status 1)" "Соединение установлено"

# Woken from sleep: the port is opened again, and a read completes.
driver send $WM_POWERBROADCAST $PBT_APMRESUMEAUTOMATIC 0 >/dev/null
expect "open after sleep" "$(driver status 1)" "Соединение установлено"
driver click 1004
wait_sim_log "ack " 20
wait_summaries 1 >/dev/null
expect "ready" "$(driver status 1)" "Соединение установлено"
driver close
driver wait-gone || fail "the window does not close"
