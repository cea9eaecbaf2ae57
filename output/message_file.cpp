// A route's records written into a message file, with their description texts made once.
#include "output/message_file.h"

#include <cstdio>
#include <string_view>

#include "platform/file_messages.h"
#include "platform/string_printf.h"
#include "platform/text_codec.h"

namespace korvalen {
namespace {

// Every description text there can be, in Windows-1251, built once: a record then costs
// no conversion and no allocation.
class DescriptionTexts {
  public:
    DescriptionTexts() {
        const std::string flash = Utf8ToCp1251("(FLASH) ");
        const std::string validity[3] = {"", Utf8ToCp1251("Устаревшее "), Utf8ToCp1251("Свежее ")};
        const std::string fix[3] = {"2D ", "3D ", ""};
        for (int v = 0; v < 3; ++v) {
            for (int pu = 0; pu < 2; ++pu) {
                for (int f = 0; f < 3; ++f)
                    position_[v][pu][f] = flash + validity[v] + (pu ? "PU " : "") + fix[f];
            }
        }
        for (unsigned bits = 0; bits < 32; ++bits) {
            std::string& text = inputs_[bits];
            text = flash + Utf8ToCp1251("Входы: ");
            for (unsigned i = 0; i < 5; ++i)
                text += (bits >> i) & 1 ? "1 " : "0 ";
        }
    }

    const std::string& Position(const MRVMessage& report) const {
        const int v = report.Validity == 1 || report.Validity == 2 ? report.Validity : 0;
        const int f = report.FixMode == 0 || report.FixMode == 1 ? report.FixMode : 2;
        return position_[v][report.PowerUp ? 1 : 0][f];
    }

    // An input counts as on only when it is 1; undetermined (2) is written as off.
    const std::string& Inputs(const MRVMessage& report) const {
        unsigned bits = 0;
        for (unsigned i = 0; i < 5; ++i)
            bits |= report.Inputs[i] == 1 ? 1u << i : 0u;
        return inputs_[bits];
    }

  private:
    std::string position_[3][2][3];  // validity word, power-up, fix-mode word
    std::string inputs_[32];         // bit i: input i+1 is on
};

const DescriptionTexts& Texts() {
    static const DescriptionTexts texts;
    return texts;
}

void WriteRecord(OutputFile& file, const MessageHead& head, const std::string& text) {
    const auto bytes = EncodeMessageHead(head);
    file.Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), text);
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
        ShowOpenFailure(sink, file->error_code(), path);
        return nullptr;
    }
    return file;
}

const std::string& PositionText(const MRVMessage& report) {
    return Texts().Position(report);
}

const std::string& InputsText(const MRVMessage& report) {
    return Texts().Inputs(report);
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
    const std::string& text = InputsText(held);
    try {
        WriteRecord(file, InputsRecordHead(held, static_cast<std::int32_t>(text.size())), text);
    } catch (const FileError& e) {
        if (file.TakeFailureReport())
            ShowWriteFailure(sink, CodePeriod::With, e.code(), held.FileName);
        return false;
    }
    return true;
}

bool WritePositionRecord(MRVMessage& held, OutputFile& file, MessageSink& sink) {
    const std::string& text = PositionText(held);
    held.TextLength = static_cast<std::int32_t>(text.size());
    held.HeadValue = kRecordHeadValue;
    held.Flags = held.IsLast ? kLastRecordFlag | kPositionRecordFlags : kPositionRecordFlags;
    try {
        WriteRecord(file, held, text);
    } catch (const FileError& e) {
        if (file.TakeFailureReport())
            ShowWriteFailure(sink, CodePeriod::Without, e.code(), held.FileName);
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
        if (file.TakeFailureReport())
            ShowWriteFailure(sink, CodePeriod::With, e.code(), file_name);
        return false;
    }
    return true;
}

}  // namespace korvalen
