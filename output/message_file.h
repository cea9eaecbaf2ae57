// The binary message files the dispatcher reads from its InBox: names, records and writing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "output/output_file.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "record/mrv_message.h"

namespace korvalen {

// Flags word of a written record (head offset 32).
inline constexpr std::uint32_t kPositionRecordFlags = 12;
inline constexpr std::uint32_t kLastRecordFlag = 0x80000000u;
// Head offset 72 of every written record.
inline constexpr std::int32_t kRecordHeadValue = 1000;

// "%s%02d%02d%02d%02d.%03d": folder, day, hour, minute, second, file number. The folder
// ends with a backslash. A file number above 999 prints all its digits.
std::string FormatMessageFileName(const std::string& folder, const CalendarTime& local,
                                  std::int32_t file_number);

// The name of a new message file in `folder`: the local time read once from `clock`;
// while a file of that name exists there (or in `also_in`, the InBox of a message file
// made elsewhere first) the time moves on by one second (carrying into minute, hour and
// day; the day is never wrapped, so day 32 can occur) without reading the clock again.
std::string MakeMessageFileName(const std::string& folder, std::int32_t file_number,
                                const Clock& clock, const std::string& also_in = {});

// The next name by the same rule: the time in `name` (a path ending in
// "DDhhmmss.NNN") one second later. Empty when `name` is not such a name.
std::string NextMessageFileName(const std::string& name);

// Creates (or truncates) the message file with exclusive sharing, no retries. On failure
// shows "Не удалось открыть файл на запись. Код ошибки: %i.\n%s" and returns null.
std::unique_ptr<OutputFile> OpenMessageFile(const std::string& path, MessageSink& sink);

// The description texts, as the Windows-1251 bytes the file holds.
const std::string& PositionText(const MRVMessage& report);
const std::string& InputsText(const MRVMessage& report);

// The heads of the two records of `report`, with `text_length` at offset 76; `last`
// puts the last-record mark on the record that ends the object's file (the inputs
// record only when the report has no position record).
MessageHead PositionRecordHead(const MRVMessage& report, bool last, std::int32_t text_length);
MessageHead InputsRecordHead(const MRVMessage& report, bool last, std::int32_t text_length);

// The message-file step of writing a held report: the inputs record (HasInputs), then
// the position record (NoPosition clear). Throws OutputWriteError for a refused write; a
// failed inputs record has left the position record unwritten.
void WriteMessageRecords(const MRVMessage& report, bool last, OutputFile& file);

}  // namespace korvalen
