// A route's two CSV files, "C" and "N": their names, their opening and their lines.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "output/output_file.h"
#include "platform/message_sink.h"
#include "record/mrv_message.h"

namespace korvalen {

// "%s%03d%s.csv" and "%s%03d%s_%03i.csv": folder, object, letter ('C' or 'N'), counter.
std::string CsvFileName(const std::string& folder, std::int32_t object_id, char letter);
std::string NumberedCsvFileName(const std::string& folder, std::int32_t object_id, char letter,
                                int counter);

// A CSV file a route appends to, with its length before the route's first line and, once
// the route has closed it, after its last (-1 while that is not known).
struct CsvFileMark {
    std::string path;
    std::int64_t length = 0;
    std::int64_t end = -1;

    bool operator==(const CsvFileMark&) const = default;
};

// What cutting a CSV file back to its mark came to.
enum class CsvCutBack {
    Done,      // the file is at its length before the pass (or was shorter, or is gone)
    Appended,  // it has grown since the pass closed it: another pass's lines would go too
    Failed,    // it could not be opened (held by another program) or cut
};

// Cuts a CSV file back to its length before a pass whose lines must not stay (a pass
// whose files were not delivered, or one done again after a crash). A file whose length
// is not the mark's end, where that is known, is left as it is. The system's code of a
// failure in `error_code`.
CsvCutBack CutBackCsvFile(const CsvFileMark& mark, int* error_code = nullptr);

// How OpenCsv waits between its tries; the program sleeps, tests record the waits.
using CsvWait = std::function<void(std::chrono::milliseconds)>;
// Sleeps on the calling thread.
void SleepWait(std::chrono::milliseconds duration);

// Opens the "C" or "N" CSV file of an object for appending, with exclusive sharing: the
// plain name up to 5 times 500 ms apart, then once the first numbered name from _001 that
// names no existing file. On success stores the name in `name` and returns the file,
// positioned at its end. On failure shows "Не удалось открыть файл на запись. Код ошибки:
// %i.\n%s" with the last name tried and returns null.
std::unique_ptr<OutputFile> OpenCsv(const std::string& folder, std::int32_t object_id, char letter,
                                    std::string& name, MessageSink& sink,
                                    const CsvWait& wait = SleepWait);

// Degrees to the ddmm (dddmm) value, in 32-bit float arithmetic: v = |value| as float,
// w = floor(v), result (v - w) * 60 + w * 100 computed in double from the two floats and
// rounded once to float.
float DegreesToDdmm(double degrees);

// An analog value with 4 significant digits: fixed form for decimal exponents 0..4, else
// "d.ddde±ddd"; trailing zeros of the fraction removed, the point kept ("3.", "5.e-002",
// "0." for zero).
std::string FormatAnalog(double value);

// The ten-field head common to both lines, with `time` as the time parts.
std::string FormatCsvHead(const MRVMessage& report, const CalendarTime& time);
// The lines without their CR LF.
std::string FormatCsvCLine(const MRVMessage& report);  // head of ReportTimeParts
std::string FormatCsvNLine(const MRVMessage& report);  // head of FixTimeParts, fields 11-19

// The CSV steps of writing a held report: one line with CR LF in one write (the "C" line
// only when NoPosition is clear). Throws OutputWriteError for a refused write: the "C"
// line's message has no period after the code, the "N" line's has one.
void WriteCsvCLine(const MRVMessage& report, OutputFile& file);
void WriteCsvNLine(const MRVMessage& report, OutputFile& file);

}  // namespace korvalen
