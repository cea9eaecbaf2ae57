// The read journal's lines, its file and its rotation.
#include "worker/read_log.h"

#include <chrono>
#include <thread>

#include "platform/file.h"
#include "platform/string_printf.h"
#include "platform/text_codec.h"

namespace korvalen {

std::string FormatLogTime(const CalendarTime& t) {
    return StringPrintf("%02d.%02d.%04d %02d:%02d:%02d ", t.day, t.month, t.year, t.hour, t.minute,
                        t.second);
}

std::string FormatCaptureLine(const CaptureLine& line) {
    std::string text = "считывание " + line.port + " ";
    if (line.kind.empty()) {
        text += StringPrintf("без заголовка: получено %lld байт",
                             static_cast<long long>(line.received));
    } else {
        text += line.kind + StringPrintf(": объявлено %lld байт, получено %lld байт",
                                         static_cast<long long>(line.announced),
                                         static_cast<long long>(line.received));
    }
    text += "; (SDD) " + line.acknowledgement + "; дамп " + line.dump;
    if (!line.archive.empty())
        text += "; архив " + line.archive;
    return text;
}

std::string FormatPassLine(const PassOutcome& line) {
    std::string text = StringPrintf(
        "декодирование %s: объектов %d, точек %d, включений %d, ошибок записи %d, доставлено "
        "файлов %d, %d мс",
        line.dump.c_str(), line.objects, line.points, line.power_ons, line.errors,
        line.delivered_files, line.milliseconds);
    if (line.delivered_before > 0)
        text += StringPrintf("; записей %d уже доставлено при прошлом считывании",
                             line.delivered_before);
    if (!line.completed)
        text += " (прервано)";
    if (!line.delivered)
        text += "; не доставлено, будет декодировано заново";
    return text;
}

ReadLog::ReadLog(const std::string& data_folder, const Clock& clock, std::int64_t limit)
    : clock_(clock),
      path_(data_folder + "Korvalen.log"),
      older_path_(data_folder + "Korvalen.1.log"),
      limit_(limit) {}

bool ReadLog::Append(std::string_view line) {
    const std::string bytes =
        Utf8ToCp1251(FormatLogTime(clock_.LocalNow()) + std::string(line)) + "\r\n";
    std::lock_guard guard(mutex_);
    File file;
    // Another process's line is being written: it takes a moment.
    for (int attempt = 0; !file.Open(path_, OpenMode::AppendOrCreate, Sharing::Exclusive);
         ++attempt) {
        if (attempt == 200)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    try {
        if (file.Length() > 0 && file.Length() + static_cast<std::int64_t>(bytes.size()) > limit_) {
            file.Close();
            if (ReplaceFileWith(path_, older_path_) != 0)
                return false;
            if (!file.Open(path_, OpenMode::AppendOrCreate, Sharing::Exclusive))
                return false;
        }
        file.Seek(file.Length());
        file.Write(bytes);
        file.Close();
    } catch (const FileError&) {
        return false;
    }
    return true;
}

std::string ReadLog::ReadAll() const {
    std::string older;
    std::string current;
    ReadWholeFile(older_path_, older);
    ReadWholeFile(path_, current);
    return Cp1251ToUtf8(older + current);
}

}  // namespace korvalen
