#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/mrv_message.h"

namespace korvalen {

// One record of a message file as read back.
struct MessageRecord {
    std::uint64_t offset = 0;  // of its head in the file
    MessageHead head;
    std::string text;  // Windows-1251 bytes
};

// The records of a whole message file. Stops at the first record that is cut short or has
// a negative or absurd text length: `error` then names its offset, and `records` holds the
// records before it.
struct MessageFileContents {
    std::vector<MessageRecord> records;
    std::string error;  // empty when the whole file was read
};
MessageFileContents ReadMessageRecords(std::string_view bytes);

// One line for a record, UTF-8: offset, ObjectID, time as a date and time, flags with the
// last-record mark spelled out, longitude, latitude, course, speed and the text.
std::string FormatMessageRecord(const MessageRecord& record);

}  // namespace korvalen
