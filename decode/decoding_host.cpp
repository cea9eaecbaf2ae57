// The summary's date and time, written as the program's Russian users write them.
#include "decode/decoding_host.h"

#include "platform/string_printf.h"

namespace korvalen {

std::string DecodingHost::FormatDateTime(const CalendarTime& local) {
    return FormatLocalDateTime(local);
}

std::string FormatLocalDateTime(const CalendarTime& t) {
    if (t.year < 100 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
        t.second > 59) {
        return "Invalid DateTime";
    }
    return StringPrintf("%02d.%02d.%04d %d:%02d:%02d", t.day, t.month, t.year, t.hour, t.minute,
                        t.second);
}

}  // namespace korvalen
