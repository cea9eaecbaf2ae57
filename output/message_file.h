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

// The name of a new message file: the local time read once from `clock`; while a file of
// that name exists the time moves on by one second (carrying into minute, hour and day;
// the day is never wrapped, so day 32 can occur) without reading the clock again.
std::string MakeMessageFileName(const std::string& folder, std::int32_t file_number,
                                const Clock& clock);

// Creates (or truncates) the message file with exclusive sharing, no retries. On failure
// shows "Не удалось открыть файл на запись. Код ошибки: %i.\n%s" and returns null.
std::shared_ptr<OutputFile> OpenMessageFile(const std::string& path, MessageSink& sink);

// The description texts, as the Windows-1251 bytes the file holds.
const std::string& PositionText(const MRVMessage& report);
const std::string& InputsText(const MRVMessage& report);

// The head of the inputs record of `report`, with `text_length` at offset 76.
MessageHead InputsRecordHead(const MRVMessage& report, std::int32_t text_length);

// Writes one record of `held` (its IsLast decides the last-record mark). A write failure
// makes the result false and closes the file; the first failure of the file is shown
// (with held.FileName), later ones only counted by the caller.
// WritePositionRecord sets Flags, HeadValue and TextLength of `held`.
bool WriteInputsRecord(const MRVMessage& held, OutputFile& file, MessageSink& sink);
bool WritePositionRecord(MRVMessage& held, OutputFile& file, MessageSink& sink);

// The message-file step of writing a held report: sets held.FileName and held.IsLast, then
// writes the inputs record (HasInputs) and the position record (NoPosition clear). A failed
// inputs record suppresses the position record. False after a handled write failure.
bool WriteMessageRecords(MRVMessage& held, const std::string& file_name, OutputFile& file,
                         bool last, MessageSink& sink);

// Flushes and closes an output file at the end of a route. A failure (the file's first) is
// shown as a write failure of `file_name` ("…Код ошибки: %i.\n%s") and gives false; the file is
// closed anyway.
bool CloseOutputFile(OutputFile& file, const std::string& file_name, MessageSink& sink);

}  // namespace korvalen
