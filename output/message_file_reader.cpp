#include "output/message_file_reader.h"

#include "output/message_file.h"
#include "output/string_printf.h"
#include "platform/clock.h"
#include "platform/text_codec.h"

namespace korvalen {
namespace {

bool KnownFlags(std::uint32_t flags) {
    const std::uint32_t kind = flags & ~kLastRecordFlag;
    return kind == 0 || kind == kPositionRecordFlags;
}

std::string CheckHead(const MessageHead& head, std::size_t bytes_left) {
    if (head.Reserved4 != 0)
        return StringPrintf("the word at offset 4 is %d, not 0", head.Reserved4);
    if (head.Reserved36 != 0)
        return StringPrintf("the word at offset 36 is %d, not 0", head.Reserved36);
    if (!KnownFlags(head.Flags))
        return StringPrintf("unknown flags 0x%08X", static_cast<unsigned>(head.Flags));
    if (head.HeadValue != kRecordHeadValue)
        return StringPrintf("the word at offset 72 is %d, not 1000", head.HeadValue);
    if (head.TextLength <= 0)
        return StringPrintf("text length %d", head.TextLength);
    if (static_cast<std::size_t>(head.TextLength) > bytes_left) {
        return StringPrintf("cut short: text length %d, but only %zu bytes follow the head",
                            head.TextLength, bytes_left);
    }
    return std::string();
}

}  // namespace

MessageFileContents ReadMessageRecords(std::string_view bytes) {
    MessageFileContents contents;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const std::size_t left = bytes.size() - offset;
        if (left < kMessageHeadSize) {
            contents.error = StringPrintf("record at offset %zu: cut short: %zu of %zu head bytes",
                                          offset, left, kMessageHeadSize);
            return contents;
        }
        MessageRecord record;
        record.offset = offset;
        record.head =
            DecodeMessageHead(reinterpret_cast<const std::uint8_t*>(bytes.data() + offset));
        const std::string problem = CheckHead(record.head, left - kMessageHeadSize);
        if (!problem.empty()) {
            contents.error = StringPrintf("record at offset %zu: %s", offset, problem.c_str());
            return contents;
        }
        const auto text_length = static_cast<std::size_t>(record.head.TextLength);
        record.text = std::string(bytes.substr(offset + kMessageHeadSize, text_length));
        contents.records.push_back(std::move(record));
        offset += kMessageHeadSize + text_length;
    }
    return contents;
}

std::string FormatMessageRecord(const MessageRecord& record) {
    const MessageHead& h = record.head;
    const CalendarTime t = FromOleDate(h.ReportTime);
    const bool position = (h.Flags & ~kLastRecordFlag) == kPositionRecordFlags;
    const bool last = (h.Flags & kLastRecordFlag) != 0;
    return StringPrintf(
               "%llu: object %d, %02d.%02d.%04d %02d:%02d:%02d, flags 0x%08X (%s%s), "
               "lon %.5f, lat %.5f, course %.1f, speed %.3f, text \"",
               static_cast<unsigned long long>(record.offset), h.ObjectID, t.day, t.month, t.year,
               t.hour, t.minute, t.second, static_cast<unsigned>(h.Flags),
               position ? "position" : "inputs", last ? ", last" : "", h.Longitude, h.Latitude,
               h.Course, h.Speed) +
           Cp1251ToUtf8(record.text) + "\"";
}

}  // namespace korvalen
