#!/usr/bin/env bash
# "Сохранить копию файла...": refused before any read; after one, the dump copied byte
# for byte under the name the dialog offers (the date, then the date and a counter), an
# existing copy replaced after the question. The About box and the help window, which
# behaves as every dialog (Tab, Esc) and carries the program's icon.
source "$(dirname "$0")/lib.sh"
e2e_begin copy_about_help

start_sim reader --pace max --size 3000 --all-with-id --start 2026-12-01 --record-every 0
map_port COM1 "$SIM_DEVICE"
start_program
driver main-windows 1 >/dev/null || fail "no main window"
expect "window state" "$(driver status 1)" "Соединение установлено"
main_rect=$(driver window-rect)
screenshot main_window

# icon_pixels_apart SHOT1 RECT1 SHOT2 RECT2: how many pixels of the caption icons of two
# windows, each in its screenshot, differ by more than 5 %. Wine draws the small icon
# 16 x 16 at (5, 4) from a dialog frame's corner; the 12 x 12 inside it are opaque, so
# whether the caption is drawn active or not makes no difference there.
icon_pixels_apart() {
    local left top
    read -r left top _ <<<"$2"
    convert "$RESULTS/$1.png" -crop "12x12+$((left + 7))+$((top + 6))" +repage "$E2E_WORK/icon1.png"
    read -r left top _ <<<"$4"
    convert "$RESULTS/$3.png" -crop "12x12+$((left + 7))+$((top + 6))" +repage "$E2E_WORK/icon2.png"
    compare -metric AE -fuzz 5% "$E2E_WORK/icon1.png" "$E2E_WORK/icon2.png" null: 2>&1 || true
}

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
wait_until 5 "the dump copied byte for byte" 'cmp -s "$dump" "$PROGRAM_DIR/copy.trc"'

echo "older" >"$PROGRAM_DIR/copy.trc"
driver command 32775
expect "second name offered" "$(driver file-dialog-name)" "${today}_1"
driver file-dialog 'C:\Korvalen\copy.trc' || fail "the save dialog stays on a name in use"
driver answer "already exists" 6 >/dev/null || fail "no question before replacing the copy"
wait_until 5 "the copy to be replaced" 'cmp -s "$dump" "$PROGRAM_DIR/copy.trc"'

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

# The help window: the guide beside the main window, which stays usable, with the
# program's icon. Like every dialog: the focus on "Закрыть", Tab to the text and back,
# Esc closes it. Shown again while open it is the same window; shown after Esc, a new one
# that "Закрыть" closes.
help='Справка Korvalen'
driver command 32774
guide=$(driver dialog-text "$help" 1200)
for heading in "Считывание флэш-памяти" "Декодирование файла" "Настройки" \
    "Тестирование устройства" "Сообщения программы"; do
    grep -q "$heading" <<<"$guide" || fail "the help has no '$heading'"
done
expect "focus at first" "$(driver dialog-focused "$help")" 1
screenshot help
# The program's icon in its caption, as in the main window's. (Wine answers no other
# process's WM_GETICON, so the screen is the witness.)
expect "the help's icon" \
    "$(icon_pixels_apart main_window "$main_rect" help "$(driver dialog-rect "$help")")" 0
expect "window usable" "$(driver enabled 1004)" 1
driver dialog-keys "$help" 9 # Tab
wait_until 5 "Tab to move to the text" '[ "$(driver dialog-focused "$help")" = 1200 ]'
driver dialog-keys "$help" 9
wait_until 5 "Tab to move back to Закрыть" '[ "$(driver dialog-focused "$help")" = 1 ]'
window=$(driver dialog-window "$help")
driver command-handled 32774
expect "shown again: the same window" "$(driver dialog-window "$help")" "$window"
driver dialog-keys "$help" 0x1B # Esc
driver dialog-gone "$help" || fail "Esc does not close the help window"
driver command 32774
expect "the guide again" "$(driver dialog-text "$help" 1200)" "$guide"
driver dialog-click "$help" 1
driver dialog-gone "$help" || fail "the help window stays"
driver close
driver wait-gone || fail "the window does not close"
