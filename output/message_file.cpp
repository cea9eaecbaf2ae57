// A route's records written into a message file, with their description texts made once.
#include "output/message_file.h"

#include <cstdio>
#include <string_view>

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
                                const Clock& clock, const std::string& also_in) {
    std::string name = FormatMessageFileName(folder, clock.LocalNow(), file_number);
    const auto taken = [&](const std::string& path) {
        return FileExists(path) ||
               (!also_in.empty() && FileExists(also_in + path.substr(folder.size())));
    };
    while (taken(name))
        name = NextMessageFileName(name);
    return name;
}

std::string NextMessageFileName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot < 8)
        return {};
    const std::size_t at = dot - 8;
    int fields[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const char high = name[at + 2 * i];
        const char low = name[at + 2 * i + 1];
        if (high < '0' || high > '9' || low < '0' || low > '9')
            return {};
        fields[i] = (high - '0') * 10 + (low - '0');
    }
    auto& [day, hour, minute, second] = fields;
    if (++second > 59) {
        second = 0;
        if (++minute > 59) {
            minute = 0;
            if (++hour > 23) {
                hour = 0;
                ++day;  // never wrapped at the month's end
            }
        }
    }
    // A day past 99 has no two digits: the name cannot move on.
    if (day > 99)
        return {};
    return name.substr(0, at) + StringPrintf("%02d%02d%02d%02d", day, hour, minute, second) +
           name.substr(dot);
}

std::unique_ptr<OutputFile> OpenMessageFile(const std::string& path, MessageSink& sink) {
    auto file = std::make_unique<OutputFile>();
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

MessageHead PositionRecordHead(const MRVMessage& report, bool last, std::int32_t text_length) {
    MessageHead head = report;
    head.Flags = last ? kLastRecordFlag | kPositionRecordFlags : kPositionRecordFlags;
    head.HeadValue = kRecordHeadValue;
    head.TextLength = text_length;
    return head;
}

MessageHead InputsRecordHead(const MRVMessage& report, bool last, std::int32_t text_length) {
    MessageHead head;
    head.ObjectID = report.ObjectID;
    head.ReportTime = report.FixTime;
    head.DecodedUtc = report.DecodedUtc;
    head.DecodedLocal = report.DecodedLocal;
    head.Flags = last && report.NoPosition ? kLastRecordFlag : 0;
    head.HeadValue = kRecordHeadValue;
    head.TextLength = text_length;
    return head;
}

void WriteMessageRecords(const MRVMessage& report, bool last, OutputFile& file) {
    if (report.HasInputs) {
        const std::string& text = InputsText(report);
        WriteStep(CodePeriod::With, [&] {
            WriteRecord(
                file, InputsRecordHead(report, last, static_cast<std::int32_t>(text.size())), text);
        });
    }
    if (!report.NoPosition) {
        const std::string& text = PositionText(report);
        WriteStep(CodePeriod::Without, [&] {
            WriteRecord(file,
                        PositionRecordHead(report, last, static_cast<std::int32_t>(text.size())),
                        text);
        });
    }
}

}  // namespace korvalen
