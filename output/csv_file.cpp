// The CSV files of a route: numbers as printf writes them but cheaper, files opened with
// retries and a numbered name as the way out.
#include "output/csv_file.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <thread>

#include "platform/file_messages.h"
#include "platform/string_printf.h"

namespace korvalen {
namespace {

constexpr int kPlainNameTries = 5;
constexpr std::chrono::milliseconds kRetryDelay{500};
// The longest "%.3f" of a finite double: sign, 309 integer digits, point, decimals.
constexpr std::size_t kMaxFixedLength = 320;

// The last two characters of the year written in decimal ("07" for 2007).
std::string YearSuffix(int year) {
    const std::string digits = std::to_string(year);
    return digits.size() > 2 ? digits.substr(digits.size() - 2) : digits;
}

// The number formatting of the lines is printf's ("%0*.*f", "%0*i", "%.3e"), done with
// std::to_chars: the same digits, without printf's cost on every line of a large dump.

// Widens the number that starts at `start` to `width` characters with zeros after its sign.
void PadWithZeros(std::string& out, std::size_t start, std::size_t width) {
    const std::size_t length = out.size() - start;
    if (length < width) {
        const std::size_t at = start + (out[start] == '-' ? 1 : 0);
        out.insert(at, width - length, '0');
    }
}

// "%0<width>.<precision>f".
void AppendFixed(std::string& out, double value, int precision, std::size_t width) {
    if (!std::isfinite(value)) {
        out += StringPrintf("%0*.*f", static_cast<int>(width), precision, value);
        return;
    }
    const std::size_t start = out.size();
    out.resize(start + kMaxFixedLength);
    const auto result = std::to_chars(out.data() + start, out.data() + out.size(), value,
                                      std::chars_format::fixed, precision);
    out.resize(static_cast<std::size_t>(result.ptr - out.data()));
    PadWithZeros(out, start, width);
}

// "%0<width>i".
void AppendInteger(std::string& out, std::int32_t value, std::size_t width) {
    const std::size_t start = out.size();
    out.resize(start + 16);
    const auto result = std::to_chars(out.data() + start, out.data() + out.size(), value);
    out.resize(static_cast<std::size_t>(result.ptr - out.data()));
    PadWithZeros(out, start, width);
}

char InputDigit(std::int32_t input) {
    return input == 1 ? '1' : '0';
}

void WriteLine(std::string line, OutputFile& file, CodePeriod period) {
    line += "\r\n";
    WriteStep(period, [&] { file.Write(line); });
}

}  // namespace

std::string CsvFileName(const std::string& folder, std::int32_t object_id, char letter) {
    return folder + StringPrintf("%03d%c.csv", object_id, letter);
}

std::string NumberedCsvFileName(const std::string& folder, std::int32_t object_id, char letter,
                                int counter) {
    return folder + StringPrintf("%03d%c_%03i.csv", object_id, letter, counter);
}

CsvCutBack CutBackCsvFile(const CsvFileMark& mark, int* error_code) {
    File file;
    if (!file.Open(mark.path, OpenMode::OpenExisting, Sharing::Exclusive)) {
        if (NotFound(file.error_code()))
            return CsvCutBack::Done;  // nothing of the pass is left to take back
        if (error_code)
            *error_code = file.error_code();
        return CsvCutBack::Failed;
    }
    try {
        const std::int64_t length = file.Length();
        if (mark.end >= 0 && length != mark.end)
            return length < mark.length ? CsvCutBack::Done : CsvCutBack::Appended;
        if (length > mark.length) {
            file.Truncate(mark.length);
            file.Flush();
        }
        file.Close();
    } catch (const FileError& e) {
        if (error_code)
            *error_code = e.code();
        return CsvCutBack::Failed;
    }
    return CsvCutBack::Done;
}

void SleepWait(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::unique_ptr<OutputFile> OpenCsv(const std::string& folder, std::int32_t object_id, char letter,
                                    std::string& name, MessageSink& sink, const CsvWait& wait) {
    auto file = std::make_unique<OutputFile>();
    std::string candidate = CsvFileName(folder, object_id, letter);
    bool opened = false;
    for (int attempt = 0; attempt < kPlainNameTries && !opened; ++attempt) {
        if (attempt > 0)
            wait(kRetryDelay);
        opened = file->Open(candidate, OpenMode::AppendOrCreate);
    }
    if (!opened) {
        int counter = 1;
        while (FileExists(candidate = NumberedCsvFileName(folder, object_id, letter, counter)))
            ++counter;
        opened = file->Open(candidate, OpenMode::AppendOrCreate);
    }
    if (opened) {
        try {
            file->SeekToEnd();
        } catch (const FileError&) {
            opened = false;
        }
    }
    if (!opened) {
        ShowOpenFailure(sink, file->error_code(), candidate);
        return nullptr;
    }
    name = candidate;
    return file;
}

float DegreesToDdmm(double degrees) {
    // Beyond float's range the conversion would be undefined; no dump gives such a value.
    if (!(std::fabs(degrees) <= std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::quiet_NaN();
    float v = static_cast<float>(degrees);
    if (v < 0)
        v = -v;
    const float w = std::floor(v);
    const double ddmm =
        (static_cast<double>(v) - static_cast<double>(w)) * 60.0 + static_cast<double>(w) * 100.0;
    return static_cast<float>(ddmm);
}

std::string FormatAnalog(double value) {
    if (!std::isfinite(value))
        return StringPrintf("%g", value);
    // "%.3e" rounds to the four significant digits first; its exponent belongs to the
    // form d.ddd, one less than the e of 0.dddd x 10^e.
    std::string scientific(kMaxFixedLength, '\0');
    const auto result = std::to_chars(scientific.data(), scientific.data() + scientific.size(),
                                      std::fabs(value), std::chars_format::scientific, 3);
    scientific.resize(static_cast<std::size_t>(result.ptr - scientific.data()));
    const std::string digits = scientific.substr(0, 1) + scientific.substr(2, 3);
    const int exponent = std::atoi(scientific.c_str() + 6);
    const int e = exponent + 1;
    const bool zero = value == 0;
    std::string text = value < 0 ? "-" : "";
    std::string fraction;
    if (!zero && (e < 0 || e > 4)) {
        fraction = digits.substr(1);
        while (!fraction.empty() && fraction.back() == '0')
            fraction.pop_back();
        text += digits.substr(0, 1) + "." + fraction;
        text += StringPrintf("e%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return text;
    }
    if (zero) {
        text += "0.";
        return text;
    }
    text += e == 0 ? "0" : digits.substr(0, static_cast<std::size_t>(e));
    fraction = digits.substr(static_cast<std::size_t>(e));
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    return text + "." + fraction;
}

std::string FormatCsvHead(const MRVMessage& report, const CalendarTime& time) {
    std::string head = "a,";
    head.reserve(96);
    AppendFixed(head, static_cast<double>(DegreesToDdmm(report.Latitude)), 3, 8);
    head += report.Latitude > 0 ? ",N," : ",S,";
    AppendFixed(head, static_cast<double>(DegreesToDdmm(report.Longitude)), 3, 9);
    head += report.Longitude > 0 ? ",E," : ",W,";
    AppendInteger(head, time.hour, 2);
    AppendInteger(head, time.minute, 2);
    AppendInteger(head, time.second, 2);
    head += ',';
    AppendInteger(head, time.day, 2);
    AppendInteger(head, time.month, 2);
    head += YearSuffix(time.year);
    head += ",00000,";
    AppendInteger(head, report.ObjectID, 5);
    head += ",O";
    return head;
}

std::string FormatCsvCLine(const MRVMessage& report) {
    return FormatCsvHead(report, report.ReportTimeParts);
}

std::string FormatCsvNLine(const MRVMessage& report) {
    std::string line = FormatCsvHead(report, report.FixTimeParts);
    line += ',';
    AppendFixed(line, report.Course, 0, 3);
    line += ',';
    AppendFixed(line, report.Speed, 3, 7);
    line += ',';
    line += report.Validity == 2 ? 'N' : report.Validity == 1 ? 'O' : 'U';
    line += ',';
    line += report.FixMode == 1 ? '3' : report.FixMode == 0 ? '2' : '1';
    line += ',';
    line += report.PowerUp ? '1' : '0';
    line += ',';
    for (std::int32_t input : report.Inputs)
        line += InputDigit(input);
    line += ',';
    line += FormatAnalog(report.Analog1) + "," + FormatAnalog(report.Analog2) + "," +
            FormatAnalog(report.Analog3);
    return line;
}

void WriteCsvCLine(const MRVMessage& report, OutputFile& file) {
    if (!report.NoPosition)
        WriteLine(FormatCsvCLine(report), file, CodePeriod::Without);
}

void WriteCsvNLine(const MRVMessage& report, OutputFile& file) {
    WriteLine(FormatCsvNLine(report), file, CodePeriod::With);
}

}  // namespace korvalen
