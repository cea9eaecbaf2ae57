#include "output/csv_file.h"

#include <cmath>
#include <cstdlib>
#include <thread>

#include "output/string_printf.h"

namespace korvalen {
namespace {

constexpr int kPlainNameTries = 5;
constexpr std::chrono::milliseconds kRetryDelay{500};

void ShowWriteFailure(MessageSink& sink, bool with_period, int code, const std::string& path) {
    sink.ShowMessage(
        StringPrintf(with_period ? "Не удалось записать информацию в файл. Код ошибки: %i.\n%s"
                                 : "Не удалось записать информацию в файл. Код ошибки: %i\n%s",
                     code, path.c_str()),
        kProgramCaption, MessageIcon::Stop);
}

// The last two characters of the year written in decimal ("07" for 2007).
std::string YearSuffix(int year) {
    const std::string digits = std::to_string(year);
    return digits.size() > 2 ? digits.substr(digits.size() - 2) : digits;
}

char InputDigit(std::int32_t input) {
    return input == 1 ? '1' : '0';
}

bool WriteLine(std::string line, OutputFile& file) {
    line += "\r\n";
    file.Write(line);
    return true;
}

}  // namespace

std::string CsvFileName(const std::string& folder, std::int32_t object_id, char letter) {
    return folder + StringPrintf("%03d%c.csv", object_id, letter);
}

std::string NumberedCsvFileName(const std::string& folder, std::int32_t object_id, char letter,
                                int counter) {
    return folder + StringPrintf("%03d%c_%03i.csv", object_id, letter, counter);
}

void SleepWait(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::shared_ptr<OutputFile> OpenCsv(const std::string& folder, std::int32_t object_id, char letter,
                                    std::string& name, MessageSink& sink, const CsvWait& wait) {
    auto file = std::make_shared<OutputFile>();
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
        sink.ShowMessage(StringPrintf("Не удалось открыть файл на запись. Код ошибки: %i.\n%s",
                                      file->error_code(), candidate.c_str()),
                         kProgramCaption, MessageIcon::Stop);
        return nullptr;
    }
    name = candidate;
    return file;
}

float DegreesToDdmm(double degrees) {
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
    const std::string scientific = StringPrintf("%.3e", std::fabs(value));
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
    std::string head =
        StringPrintf("a,%08.03f,", static_cast<double>(DegreesToDdmm(report.Latitude)));
    head += report.Latitude > 0 ? 'N' : 'S';
    head += StringPrintf(",%09.03f,", static_cast<double>(DegreesToDdmm(report.Longitude)));
    head += report.Longitude > 0 ? 'E' : 'W';
    head +=
        StringPrintf(",%02i%02i%02i,%02i%02i%s,00000,%05i,O", time.hour, time.minute, time.second,
                     time.day, time.month, YearSuffix(time.year).c_str(), report.ObjectID);
    return head;
}

std::string FormatCsvCLine(const MRVMessage& report) {
    return FormatCsvHead(report, report.ReportTimeParts);
}

std::string FormatCsvNLine(const MRVMessage& report) {
    std::string line = FormatCsvHead(report, report.FixTimeParts);
    line += StringPrintf(",%03.0f,%07.03f,", report.Course, report.Speed);
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

bool WriteCsvCLine(MRVMessage& held, const std::string& file_name, OutputFile& file, bool last,
                   MessageSink& sink) {
    held.FileName = file_name;
    held.IsLast = last;
    if (held.NoPosition)
        return true;
    try {
        return WriteLine(FormatCsvCLine(held), file);
    } catch (const FileError& e) {
        ShowWriteFailure(sink, false, e.code(), held.FileName);
        return false;
    }
}

bool WriteCsvNLine(MRVMessage& held, const std::string& file_name, OutputFile& file, bool last,
                   MessageSink& sink) {
    held.FileName = file_name;
    held.IsLast = last;
    try {
        return WriteLine(FormatCsvNLine(held), file);
    } catch (const FileError& e) {
        ShowWriteFailure(sink, true, e.code(), held.FileName);
        return false;
    }
}

}  // namespace korvalen
