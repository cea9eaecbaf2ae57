// The records a dispatcher finds in an InBox, without what differs from run to run, so
// that two InBoxes can be compared.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "decode_test_support.h"
#include "output/message_file_reader.h"

namespace korvalen::testing {

// One record of a message file as the dispatcher takes it, less the decoding time.
struct InboxRecord {
    std::int32_t object = 0;
    double time = 0;
    std::uint32_t flags = 0;
    double longitude = 0;
    double latitude = 0;
    std::string text;

    auto Key() const { return std::tie(object, time, flags, longitude, latitude, text); }
    bool operator<(const InboxRecord& other) const { return Key() < other.Key(); }
    bool operator==(const InboxRecord& other) const { return Key() == other.Key(); }
};

// Every record of the message files in `folder` (not the CSV files, not its folders),
// sorted. A damaged file is named in `problems`. (A file may lack the last-record mark:
// when its object's last report has neither inputs nor a position, nothing carries it.)
inline std::vector<InboxRecord> InboxRecords(const std::string& folder,
                                             std::vector<std::string>* problems = nullptr) {
    std::vector<InboxRecord> records;
    for (const std::string& name : FileNames(folder)) {
        const std::string path = folder + "/" + name;
        if (name.size() < 4 || name.substr(name.size() - 4) == ".csv" ||
            !std::filesystem::is_regular_file(path)) {
            continue;
        }
        const MessageFileContents contents = ReadMessageRecords(ReadTestFile(path));
        if (problems && !contents.error.empty())
            problems->push_back(name + ": " + contents.error);
        for (const MessageRecord& r : contents.records) {
            records.push_back({r.head.ObjectID, r.head.ReportTime, r.head.Flags, r.head.Longitude,
                               r.head.Latitude, r.text});
        }
    }
    std::sort(records.begin(), records.end());
    return records;
}

}  // namespace korvalen::testing
