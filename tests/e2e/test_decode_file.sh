#!/usr/bin/env bash
# "Декодировать файл": the file dialog, a pass over the sample dump, its summary at the
# top of the log list, one message file per object in the InBox, and the window after
# it: the port is still closed, so it shows the no-connection state, not "ready". A
# second pass puts "---" between its summary and the first one.
source "$(dirname "$0")/lib.sh"
e2e_begin decode_file

cp "$(dirname "$0")/../data/sample.trc" "$PROGRAM_DIR/sample.trc"
start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"

summary_of_sample="В файле 'C:\\Korvalen\\sample.trc'
найдены маршруты объектов:
0286 (26 точек на временном интервале: 03.11.2007 - 03.11.2007)
0012 (26 точек на временном интервале: 01.11.2007 - 01.11.2007)
0149 (26 точек на временном интервале: 02.11.2007 - 02.11.2007)
Количество включений регистратора: 01"

driver click 1000
driver file-dialog-title >/dev/null || fail "no file dialog"
screenshot file_dialog
driver file-dialog 'C:\Korvalen\sample.trc' || fail "no file dialog"
list=$(wait_list 7)
expect "date line" "$(head -n 1 <<<"$list" | sed -E 's/[0-9]/9/g; s/ 9:/ 99:/')" "99.99.9999 99:99:99"
expect "summary" "$(tail -n +2 <<<"$list")" "$summary_of_sample"
screenshot log_list

# The message files appear when the routes close them at the end of the pass.
expect "one message file per object" \
    "$(ls "$PROGRAM_DIR/InBox" | sed 's/^[0-9]\{8\}\./DDHHMMSS./' | sort | tr '\n' ' ')" \
    "DDHHMMSS.012 DDHHMMSS.149 DDHHMMSS.286 "
for file in "$PROGRAM_DIR"/InBox/*; do
    [ -s "$file" ] || fail "$(basename "$file") is empty"
done
echo "ok: the message files are not empty"

# After the pass: the decode caption, and the state of the port as it is.
expect_text 1000 "Декодировать файл"
expect "status part 1" "$(driver status 1)" "Ошибка соединения!"
expect_text 1026 "Ошибка соединения с COM-портом!"
expect_text 1027 ""
expect_text 1028 ""
expect_text 1029 ""
expect "read all enabled" "$(driver enabled 1002)" 0
expect "read new enabled" "$(driver enabled 1004)" 0

# A second pass: its summary on top, "---" below it, the first summary under that.
driver click 1000
driver file-dialog 'C:\Korvalen\sample.trc' || fail "no file dialog the second time"
list=$(wait_list 15)
expect "second summary" "$(sed -n 2,7p <<<"$list")" "$summary_of_sample"
expect "separator" "$(sed -n 8p <<<"$list")" "---"
expect "first summary below" "$(sed -n 10,15p <<<"$list")" "$summary_of_sample"

# Cancelling the file dialog starts nothing: the next pass is the only one after it (a
# pass started on Cancel would have shown its summary, or its message about a file it
# cannot open, by the time the next pass is done).
driver click 1001 # Очистить
driver click 1000
driver file-dialog-title >/dev/null || fail "no file dialog the third time"
driver keys 0x1B # Esc
wait_until 5 "the file dialog to close" '! driver file-dialog-title 0 >/dev/null 2>&1'

# A long path with Cyrillic names reaches the pass intact; the list scrolls sideways to
# show it.
archive='Архив дампов регистраторов за ноябрь 2007 года'
mkdir -p "$PROGRAM_DIR/$archive"
cp "$PROGRAM_DIR/sample.trc" "$PROGRAM_DIR/$archive/дамп 0149.trc"
driver click 1000
driver file-dialog "C:\\Korvalen\\$archive\\дамп 0149.trc" || fail "no file dialog for the long path"
list=$(wait_summaries 1)
expect "nothing decoded after Cancel" "$(grep -c '' <<<"$list")" 7
driver no-message 'Анализ файла' 0 || fail "a pass started on Cancel"
expect "long path" "$(sed -n 2p <<<"$list")" "В файле 'C:\\Korvalen\\$archive\\дамп 0149.trc'"
screenshot long_path

driver close
driver wait-gone || fail "the window does not close after the passes"
echo "ok: closes when idle"
