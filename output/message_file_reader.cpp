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

// The OLE Automation dates of 01.01.0100 and 31.12.9999, the range Windows converts.
constexpr double kFirstOleDate = -657434.0;
constexpr double kLastOleDate = 2958466.0;

std::string FormatOleTime(double ole_date) {
    if (!(ole_date >= kFirstOleDate && ole_date < kLastOleDate))
        return StringPrintf("(time %g out of range)", ole_date);
    const CalendarTime t = FromOleDate(ole_date);
    return StringPrintf("%02d.%02d.%04d %02d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                        t.second);
}

// The text in double quotes, with control characters, quotes and backslashes escaped so
// that every record stays on one line.
std::string QuotedText(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += StringPrintf("\\x%02X", byte);
        } else {
            out += c;
        }
    }
    return out + "\"";
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
    const bool position = (h.Flags & ~kLastRecordFlag) == kPositionRecordFlags;
    const bool last = (h.Flags & kLastRecordFlag) != 0;
    return StringPrintf("%llu: object %d, ", static_cast<unsigned long long>(record.offset),
                        h.ObjectID) +
           FormatOleTime(h.ReportTime) +
           StringPrintf(", flags 0x%08X (%s%s), lon %.5f, lat %.5f, course %.1f, speed %.3f, text ",
                        static_cast<unsigned>(h.Flags), position ? "position" : "inputs",
                        last ? ", last" : "", h.Longitude, h.Latitude, h.Course, h.Speed) +
           QuotedText(Cp1251ToUtf8(record.text));
}

}  // namespace korvalen
