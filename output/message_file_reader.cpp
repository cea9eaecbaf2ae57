// Message files read record by record, each head checked, and printed one line per record.
#include "output/message_file_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "output/message_file.h"
#include "platform/clock.h"
#include "platform/string_printf.h"
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
    std::size_t at = 0;
    MessageRecordReader reader(
        [&](char* buffer, std::size_t count) {
            const std::size_t taken = std::min(count, bytes.size() - at);
            bytes.copy(buffer, taken, at);
            at += taken;
            return taken;
        },
        bytes.size());
    MessageFileContents contents;
    while (std::optional<MessageRecord> record = reader.Next())
        contents.records.push_back(std::move(*record));
    contents.error = reader.error();
    return contents;
}

MessageRecordReader::MessageRecordReader(Source source, std::uint64_t size)
    : source_(std::move(source)), size_(size) {}

bool MessageRecordReader::ReadExactly(char* into, std::size_t count) {
    while (count > 0) {
        const std::size_t got = source_(into, count);
        if (got == 0)
            return false;
        into += got;
        count -= got;
    }
    return true;
}

std::optional<MessageRecord> MessageRecordReader::Next() {
    if (!error_.empty() || offset_ >= size_)
        return std::nullopt;
    const std::uint64_t left = size_ - offset_;
    const auto fail = [&](const std::string& problem) -> std::optional<MessageRecord> {
        error_ = StringPrintf("record at offset %llu: %s", static_cast<unsigned long long>(offset_),
                              problem.c_str());
        return std::nullopt;
    };
    if (left < kMessageHeadSize) {
        return fail(StringPrintf("cut short: %llu of %zu head bytes",
                                 static_cast<unsigned long long>(left), kMessageHeadSize));
    }
    std::array<char, kMessageHeadSize> head;
    if (!ReadExactly(head.data(), head.size()))
        return fail("the file ended before its size");
    MessageRecord record;
    record.offset = offset_;
    record.head = DecodeMessageHead(reinterpret_cast<const std::uint8_t*>(head.data()));
    const std::uint64_t text_left = left - kMessageHeadSize;
    const std::string problem = CheckHead(
        record.head, static_cast<std::size_t>(std::min<std::uint64_t>(text_left, SIZE_MAX)));
    if (!problem.empty())
        return fail(problem);
    const auto text_length = static_cast<std::size_t>(record.head.TextLength);
    if (text_length > kLongestText)
        return fail(StringPrintf("text length %zu, longer than any record's", text_length));
    record.text.resize(text_length);
    if (!ReadExactly(record.text.data(), text_length))
        return fail("the file ended before its size");
    offset_ += kMessageHeadSize + text_length;
    return record;
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
