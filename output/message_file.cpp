#include "output/message_file.h"

#include <cstdio>
#include <string_view>

#include "output/string_printf.h"
#include "platform/text_codec.h"

namespace korvalen {
namespace {

void ShowWriteFailure(MessageSink& sink, bool with_period, int code, const std::string& path) {
    sink.ShowMessage(
        StringPrintf(with_period ? "Не удалось записать информацию в файл. Код ошибки: %i.\n%s"
                                 : "Не удалось записать информацию в файл. Код ошибки: %i\n%s",
                     code, path.c_str()),
        kProgramCaption, MessageIcon::Stop);
}

// The pieces of the description texts in Windows-1251, converted once.
struct TextPieces {
    std::string flash = Utf8ToCp1251("(FLASH) ");
    std::string outdated = Utf8ToCp1251("Устаревшее ");
    std::string fresh = Utf8ToCp1251("Свежее ");
    std::string power_up = Utf8ToCp1251("PU ");
    std::string fix_3d = Utf8ToCp1251("3D ");
    std::string fix_2d = Utf8ToCp1251("2D ");
    std::string inputs = Utf8ToCp1251("Входы: ");
};

const TextPieces& Pieces() {
    static const TextPieces pieces;
    return pieces;
}

void WriteRecord(OutputFile& file, const MessageHead& head, const std::string& text) {
    const auto bytes = EncodeMessageHead(head);
    file.Write(bytes.data(), bytes.size());
    file.Write(text);
}

}  // namespace

std::string FormatMessageFileName(const std::string& folder, const CalendarTime& local,
                                  std::int32_t file_number) {
    return folder + StringPrintf("%02d%02d%02d%02d.%03d", local.day, local.hour, local.minute,
                                 local.second, file_number);
}

std::string MakeMessageFileName(const std::string& folder, std::int32_t file_number,
                                const Clock& clock) {
    CalendarTime time = clock.LocalNow();
    std::string name = FormatMessageFileName(folder, time, file_number);
    while (FileExists(name)) {
        if (++time.second > 59) {
            time.second = 0;
            if (++time.minute > 59) {
                time.minute = 0;
                if (++time.hour > 23) {
                    time.hour = 0;
                    ++time.day;  // never wrapped at the month's end
                }
            }
        }
        name = FormatMessageFileName(folder, time, file_number);
    }
    return name;
}

std::shared_ptr<OutputFile> OpenMessageFile(const std::string& path, MessageSink& sink) {
    auto file = std::make_shared<OutputFile>();
    if (!file->Open(path, OpenMode::CreateOrTruncate)) {
        sink.ShowMessage(StringPrintf("Не удалось открыть файл на запись. Код ошибки: %i.\n%s",
                                      file->error_code(), path.c_str()),
                         kProgramCaption, MessageIcon::Stop);
        return nullptr;
    }
    return file;
}

std::string PositionText(const MRVMessage& report) {
    const TextPieces& p = Pieces();
    std::string text = p.flash;
    if (report.Validity == 1) {
        text += p.outdated;
    } else if (report.Validity == 2) {
        text += p.fresh;
    }
    if (report.PowerUp)
        text += p.power_up;
    if (report.FixMode == 1) {
        text += p.fix_3d;
    } else if (report.FixMode == 0) {
        text += p.fix_2d;
    }
    return text;
}

std::string InputsText(const MRVMessage& report) {
    const TextPieces& p = Pieces();
    std::string text = p.flash + p.inputs;
    for (std::int32_t input : report.Inputs)
        text += input == 1 ? "1 " : "0 ";
    return text;
}

MessageHead InputsRecordHead(const MRVMessage& report, std::int32_t text_length) {
    MessageHead head;
    head.ObjectID = report.ObjectID;
    head.ReportTime = report.FixTime;
    head.DecodedUtc = report.DecodedUtc;
    head.DecodedLocal = report.DecodedLocal;
    head.Flags = report.IsLast && report.NoPosition ? kLastRecordFlag : 0;
    head.HeadValue = kRecordHeadValue;
    head.TextLength = text_length;
    return head;
}

bool WriteInputsRecord(const MRVMessage& held, OutputFile& file, MessageSink& sink) {
    const std::string text = InputsText(held);
    try {
        WriteRecord(file, InputsRecordHead(held, static_cast<std::int32_t>(text.size())), text);
    } catch (const FileError& e) {
        ShowWriteFailure(sink, true, e.code(), held.FileName);
        return false;
    }
    return true;
}

bool WritePositionRecord(MRVMessage& held, OutputFile& file, MessageSink& sink) {
    const std::string text = PositionText(held);
    held.TextLength = static_cast<std::int32_t>(text.size());
    held.HeadValue = kRecordHeadValue;
    held.Flags = held.IsLast ? kLastRecordFlag | kPositionRecordFlags : kPositionRecordFlags;
    try {
        WriteRecord(file, held, text);
    } catch (const FileError& e) {
        ShowWriteFailure(sink, false, e.code(), held.FileName);
        return false;
    }
    return true;
}

bool WriteMessageRecords(MRVMessage& held, const std::string& file_name, OutputFile& file,
                         bool last, MessageSink& sink) {
    held.FileName = file_name;
    held.IsLast = last;
    bool ok = true;
    if (held.HasInputs) {
        ok = WriteInputsRecord(held, file, sink);
        if (!ok)
            return false;
    }
    if (!held.NoPosition)
        ok = WritePositionRecord(held, file, sink);
    return ok;
}

bool CloseOutputFile(OutputFile& file, const std::string& file_name, MessageSink& sink) {
    try {
        file.Close();
    } catch (const FileError& e) {
        ShowWriteFailure(sink, true, e.code(), file_name);
        return false;
    }
    return true;
}

}  // namespace korvalen
