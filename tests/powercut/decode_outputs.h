// What korvalen-decode with CSV files leaves in an InBox, and how it compares with one
// clean run: the power-loss test and the fault stories share it.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "inbox_records.h"

#ifndef KORVALEN_DECODE_PATH
#error "KORVALEN_DECODE_PATH must name a korvalen-decode the layer can be preloaded into"
#endif

namespace korvalen::powercut {

using testing::InboxRecord;
using testing::InboxRecords;
using testing::ReadTestFile;

inline const std::string kDump = KORVALEN_TEST_DATA_DIR "/sample.trc";

inline std::vector<std::string> DecodeArguments(const std::string& inbox) {
    return {KORVALEN_DECODE_PATH, "--csv-c", "--csv-n", "-o", inbox, kDump};
}

// What an InBox holds: the CSV lines of each object and letter ("012C", whatever number
// a file under another name has), the message files' records, the damaged files.
struct Delivered {
    std::map<std::string, std::multiset<std::string>> csv_lines;
    std::vector<InboxRecord> records;
    std::vector<std::string> damaged;
};

inline Delivered WhatIsIn(const std::string& inbox) {
    Delivered delivered;
    delivered.records = InboxRecords(inbox, &delivered.damaged);
    for (const auto& entry : std::filesystem::directory_iterator(inbox)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.ends_with(".csv") && entry.file_size() == 0)
            delivered.damaged.push_back(name + ": empty");
        if (!name.ends_with(".csv"))
            continue;
        auto& lines = delivered.csv_lines[name.substr(0, 4)];
        const std::string text = ReadTestFile(entry.path().string());
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            lines.insert(text.substr(at, end == std::string::npos ? end : end - at));
            at = end == std::string::npos ? text.size() : end + 2;
        }
    }
    return delivered;
}

// The problems of `got` against one clean run's `want`. The tool keeps no record of a
// cut run: when the cut run's message files survived, the rerun delivers each object's
// records again, and its CSV lines must then come again as well, as often as its records;
// `records_again` counts those deliveries' records.
inline std::vector<std::string> Compare(const Delivered& want, const Delivered& got,
                                        int& records_again) {
    std::vector<std::string> problems;
    for (const std::string& file : got.damaged)
        problems.push_back("message file cut: " + file);
    // How often each object's records were delivered: all alike, once at least.
    std::map<InboxRecord, std::size_t> wanted_count;
    for (const InboxRecord& record : want.records)
        ++wanted_count[record];
    std::map<std::int32_t, std::pair<std::size_t, std::size_t>> deliveries;  // least, most
    for (const auto& [record, count] : wanted_count) {
        const auto found =
            static_cast<std::size_t>(std::count(got.records.begin(), got.records.end(), record));
        const std::size_t times = found % count == 0 ? found / count : 0;
        auto [at, fresh] = deliveries.try_emplace(record.object, times, times);
        at->second = {std::min(at->second.first, times), std::max(at->second.second, times)};
    }
    for (const auto& [object, times] : deliveries) {
        const std::string which = "object " + std::to_string(object) + ": ";
        if (times.first == 0)
            problems.push_back(which + "records missing");
        else if (times.first != times.second)
            problems.push_back(which + "some records delivered once, others again");
    }
    records_again += static_cast<int>(got.records.size()) - static_cast<int>(want.records.size());

    std::set<std::string> keys;
    for (const auto& [key, lines] : want.csv_lines)
        keys.insert(key);
    for (const auto& [key, lines] : got.csv_lines)
        keys.insert(key);
    for (const std::string& key : keys) {
        const auto w = want.csv_lines.find(key);
        const auto g = got.csv_lines.find(key);
        const std::multiset<std::string> none;
        const auto& wanted = w == want.csv_lines.end() ? none : w->second;
        const auto& found = g == got.csv_lines.end() ? none : g->second;
        const auto d = deliveries.find(std::atoi(key.substr(0, 3).c_str()));
        const std::size_t times =
            std::max<std::size_t>(1, d == deliveries.end() ? 1 : d->second.second);
        int more = 0;
        int fewer = 0;
        int foreign = 0;
        for (const std::string& line : std::set<std::string>(found.begin(), found.end())) {
            foreign += wanted.count(line) == 0 ? 1 : 0;
            more +=
                found.count(line) > wanted.count(line) * times && wanted.count(line) > 0 ? 1 : 0;
        }
        for (const std::string& line : std::set<std::string>(wanted.begin(), wanted.end()))
            fewer += found.count(line) < wanted.count(line) * times ? 1 : 0;
        if (more + fewer + foreign > 0) {
            problems.push_back(key + ".csv, its records delivered " + std::to_string(times) +
                               " time(s): " + std::to_string(more) + " lines more often, " +
                               std::to_string(fewer) + " less often, " + std::to_string(foreign) +
                               " not of the dump (cut)");
        }
    }
    return problems;
}

}  // namespace korvalen::powercut
