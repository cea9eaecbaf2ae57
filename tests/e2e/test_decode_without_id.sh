#!/usr/bin/env bash
# A dump whose records of one object carry no ID: the pass asks once whether to give
# them one. While it asks, the pass runs and the window refuses to close. Yes and the ID
# prompt (which accepts only four digits) put them into the route of that ID; No skips
# them.
source "$(dirname "$0")/lib.sh"
e2e_begin decode_without_id

# The sample with the ";ID=0012" suffix cut off the records of object 12.
sed 's/;ID=0012</</' "$(dirname "$0")/../data/sample.trc" >"$PROGRAM_DIR/noid.trc"
[ "$(grep -c 'ID=0012' "$PROGRAM_DIR/noid.trc")" = 0 ] || fail "the dump still has ID 0012"
start_program
answer_port_error
driver main-windows 1 >/dev/null || fail "no main window"

question="Присутствуют команды без ID! Использовать для них ID? (Нет - пропустить все команды)"
IDYES=6 IDNO=7 prompt='Укажите ID'

decode_noid() {
    driver click 1000
    driver file-dialog 'C:\Korvalen\noid.trc' || fail "no file dialog"
    expect "the question" "$(driver wait-message 'Присутствуют команды без ID')" "$question"
}

decode_noid
# The pass runs while it asks: the window shows it and refuses to close.
expect_text 1000 "Прервать"
expect_text 1026 "Преобразование..."
expect "status part 1 while decoding" "$(driver status 1)" "Считывание"
driver close-handled
expect "the close box refused while a pass runs" "$(driver main-windows 1 2000 | grep -c '')" 1
driver answer 'Присутствуют команды без ID' $IDYES >/dev/null || fail "cannot answer Yes"

# The prompt: "0000" at first; two digits or a letter leave it open without a word (the
# click is handled at once: a message box would hold it); five characters (set, not
# typed: the edit takes four) are refused with a message.
expect "initial ID" "$(driver dialog-text "$prompt" 1021)" "0000"
for text in 12 12a4; do
    driver dialog-type "$prompt" 1021 "$text"
    driver dialog-click-handled "$prompt" 1 || fail "a message for '$text'"
    expect "prompt stays open after '$text'" "$(driver dialog-text "$prompt" 1021)" "$text"
done
driver dialog-type "$prompt" 1021 12345
driver dialog-click "$prompt" 1
driver answer 'Please enter no more than 4 characters.' 1 >/dev/null || fail "no message for 12345"
expect "prompt stays open after 12345" "$(driver dialog-text "$prompt" 1021)" "12345"
driver dialog-type "$prompt" 1021 0042
screenshot id_prompt
driver dialog-click "$prompt" 1
driver dialog-gone "$prompt" || fail "OK with 0042 does not close the prompt"

list=$(wait_list 6)
expect "records without ID in the route 0042" "$(tail -n +2 <<<"$list")" \
    "В файле 'C:\\Korvalen\\noid.trc'
найдены маршруты объектов:
0286 (26 точек на временном интервале: 03.11.2007 - 03.11.2007)
0042 (26 точек на временном интервале: 01.11.2007 - 01.11.2007)
0149 (26 точек на временном интервале: 02.11.2007 - 02.11.2007)
Количество включений регистратора: 01"
expect "message files" \
    "$(ls "$PROGRAM_DIR/InBox" | sed 's/^[0-9]\{8\}\./DDHHMMSS./' | sort | tr '\n' ' ')" \
    "DDHHMMSS.042 DDHHMMSS.149 DDHHMMSS.286 "
expect_text 1000 "Декодировать файл"
screenshot log_list_with_id

# The next pass asks again; No skips the records without ID.
driver click 1001 # Очистить
decode_noid
driver answer 'Присутствуют команды без ID' $IDNO >/dev/null || fail "cannot answer No"
list=$(wait_list 5)
expect "records without ID skipped" "$(tail -n +2 <<<"$list")" \
    "В файле 'C:\\Korvalen\\noid.trc'
найдены маршруты объектов:
0286 (26 точек на временном интервале: 03.11.2007 - 03.11.2007)
0149 (26 точек на временном интервале: 02.11.2007 - 02.11.2007)
Количество включений регистратора: 01"
if driver dialog-gone "$prompt" 300; then echo "ok: no ID prompt after No"; else fail "ID prompt after No"; fi

# Cancelling the prompt (Esc) gives the ID 0000.
driver click 1001
decode_noid
driver answer 'Присутствуют команды без ID' $IDYES >/dev/null || fail "cannot answer Yes"
expect "initial ID again" "$(driver dialog-text "$prompt" 1021)" "0000"
driver keys 0x1B # Esc
driver dialog-gone "$prompt" || fail "Esc does not close the prompt"
list=$(wait_list 6)
expect "route 0000 after Esc" "$(sed -n 5p <<<"$list")" \
    "0000 (26 точек на временном интервале: 01.11.2007 - 01.11.2007)"

# Button 1000 while a pass runs aborts it (sent as the command the button gives, since
# the window is disabled while the question is open): the pass stops at its next
# thousand bytes, still writes what it has and says so. The command is handled before the
# question is answered, and opens no file dialog (which would hold it).
driver click 1001
decode_noid
driver command-handled 1000 || fail "a file dialog instead of the abort"
echo "ok: no file dialog while a pass runs"
driver answer 'Присутствуют команды без ID' $IDNO >/dev/null || fail "cannot answer No"
list=$(wait_summaries 1)
expect "aborted pass" "$(sed -n 2p <<<"$list")" "В файле 'C:\\Korvalen\\noid.trc' (прервано)"

driver close
driver wait-gone || fail "the window does not close after the passes"
echo "ok: closes when idle"
