#!/usr/bin/env bash
# "Сохранить копию файла...": refused before any read; after one, the dump copied byte
# for byte under the name the dialog offers (the date, then the date and a counter), an
# existing copy replaced after the question. The About box and the help window.
source "$(dirname "$0")/lib.sh"
e2e_begin copy_about_help

start_sim reader --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"

driver command 32775
driver answer "Прежде чем сохранять файл, считайте данные из флэш-памяти!" 1 >/dev/null ||
    fail "no message without a dump"

driver click 1004
wait_summaries 1 >/dev/null
dump=$PROGRAM_DIR/Data/Korvalen.trc
[ -s "$dump" ] || fail "no dump"

# The Windows side's date: the program's clock.
today=$(TZ=UTC date +%Y%m%d)
driver command 32775
expect "name offered" "$(driver file-dialog-name)" "$today"
driver file-dialog 'C:\Korvalen\copy' || fail "the save dialog stays"
for _ in $(seq 50); do [ -f "$PROGRAM_DIR/copy.trc" ] && break; sleep 0.1; done
cmp "$dump" "$PROGRAM_DIR/copy.trc" || fail "the copy differs from the dump"

echo "older" >"$PROGRAM_DIR/copy.trc"
driver command 32775
expect "second name offered" "$(driver file-dialog-name)" "${today}_1"
driver file-dialog 'C:\Korvalen\copy.trc' || fail "the save dialog stays on a name in use"
driver answer "already exists" 6 >/dev/null || fail "no question before replacing the copy"
for _ in $(seq 50); do cmp -s "$dump" "$PROGRAM_DIR/copy.trc" && break; sleep 0.1; done
cmp "$dump" "$PROGRAM_DIR/copy.trc" || fail "the copy was not replaced"

# The About box, from the menu and from the system menu.
about='About Korvalen'
driver command 32776
expect "name" "$(driver dialog-text "$about" 1101)" "Korvalen"
expect "version" "$(driver dialog-text "$about" 1102)" "Версия 1.4"
build=$(driver dialog-text "$about" 1103)
[[ $build =~ ^Сборка\ от\ [0-9]{2}\.[0-9]{2}\.[0-9]{4}$ ]] || fail "build line: $build"
revision=$(driver dialog-text "$about" 1104)
[[ $revision =~ ^Ревизия\ [0-9a-f]{7,} ]] || fail "revision line: $revision"
screenshot about
driver dialog-click "$about" 1
driver dialog-gone "$about" || fail "the About box stays"
driver syscommand 16
driver dialog-text "$about" 1101 >/dev/null || fail "no About box from the system menu"
driver dialog-click "$about" 1
driver dialog-gone "$about" || fail "the About box stays"

# The help window: the guide, beside the window, which stays usable.
help='Справка Korvalen'
driver command 32774
guide=$(driver dialog-text "$help" 1200)
for heading in "Считывание флэш-памяти" "Декодирование файла" "Настройки" \
    "Тестирование устройства" "Сообщения программы"; do
    grep -q "$heading" <<<"$guide" || fail "the help has no '$heading'"
done
screenshot help
expect "window usable" "$(driver enabled 1004)" 1
driver dialog-click "$help" 1
driver dialog-gone "$help" || fail "the help window stays"
driver close
driver wait-gone || fail "the window does not close"
