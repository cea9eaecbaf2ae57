// Message files read back, for the inspection tool and the tests, with damage reported.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "record/mrv_message.h"

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

// The same records one at a time from a source of `size` bytes (a file), so that a file
// of any size takes the memory of one record. A text longer than any the program writes
// (kLongestText) counts as damage, like a text longer than the file.
class MessageRecordReader {
  public:
    static constexpr std::size_t kLongestText = std::size_t{64} * 1024;

    // Reads up to `count` bytes into `buffer`: how many, 0 only at the end; throws when a
    // read fails.
    using Source = std::function<std::size_t(char* buffer, std::size_t count)>;

    MessageRecordReader(Source source, std::uint64_t size);

    // The next record; nothing at the end or at damage, which error() then names.
    std::optional<MessageRecord> Next();
    const std::string& error() const { return error_; }

  private:
    bool ReadExactly(char* into, std::size_t count);

    Source source_;
    std::uint64_t size_;
    std::uint64_t offset_ = 0;
    std::string error_;
};

// One line for a record, UTF-8: offset, ObjectID, time as a date and time, flags with the
// last-record mark spelled out, longitude, latitude, course, speed and the text.
std::string FormatMessageRecord(const MessageRecord& record);

}  // namespace korvalen
