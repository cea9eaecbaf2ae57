// What the road must have done once a reader has nothing new: checked on the folders a
// run of korvalen-read left, against what the simulated loggers wrote. Shared by the kill
// campaign and the power-loss tests; each problem is one short line.
#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode_test_support.h"
#include "inbox_records.h"
#include "settings/settings.h"
#include "worker/road_journal.h"

namespace korvalen::testing {

// A record without what the decoding of another stream may set otherwise: the power-on
// mark depends on the markers around it, the last-record mark on the file it ends.
using PlainRecord = std::tuple<std::int32_t, double, double, double, std::string>;
inline PlainRecord Plain(const InboxRecord& r) {
    std::string text = r.text;
    if (const auto at = text.find("PU "); at != std::string::npos)
        text.erase(at, 3);
    return {r.object, r.time, r.longitude, r.latitude, text};
}

// One simulated logger: the records it wrote (its --journal) and its reader's event log.
struct LoggerRecord {
    std::string journal;
    std::string sim_log;
};

struct RoadFindings {
    std::vector<std::string> problems;
    int records_written = 0;  // by the loggers
    int records_found = 0;    // of those, in the InBox
    int records_missing = 0;
    int records_again = 0;  // copies beyond the first of a record in the InBox
};

namespace road_checks_detail {

inline void Problem(RoadFindings& findings, std::string text) {
    findings.problems.push_back(std::move(text));
}

// Every record of the message files that decoding `dump` once gives.
inline std::vector<InboxRecord> DecodedOnce(const std::string& dump, const std::string& scratch) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    Settings settings;
    ApplyDefaults(settings, scratch);
    settings.InboxDir = scratch + "/";
    RecordingHost quiet;
    DecodingPass pass(settings, dump, quiet);
    pass.Run();
    std::vector<InboxRecord> records = InboxRecords(scratch);
    std::filesystem::remove_all(scratch);
    return records;
}

// The new-data transfers that carried bytes: a record may come once with each.
inline int TransfersWithData(const std::string& sim_log) {
    const std::regex transfer("transfer ND ([0-9]+)");
    int count = 0;
    for (std::sregex_iterator it(sim_log.begin(), sim_log.end(), transfer), end; it != end; ++it)
        count += std::stoul((*it)[1]) > 0 ? 1 : 0;
    return count;
}

}  // namespace road_checks_detail

// `data` and `inbox` end with their separator; `scratch` is a folder the check may use.
inline RoadFindings CheckRoad(const std::string& data, const std::string& inbox,
                              const std::string& scratch,
                              const std::vector<LoggerRecord>& loggers) {
    using namespace road_checks_detail;
    RoadFindings findings;

    // Nothing is left half done: no job, no staging folder, no copy or journal in the
    // making.
    std::string text;
    if (!ReadWholeFile(data + "Korvalen.jnl", text)) {
        Problem(findings, "no journal");
    } else if (const auto jobs = ParseJournal(text); !jobs) {
        Problem(findings, "the journal cannot be read");
    } else if (!jobs->empty()) {
        std::string ids;
        for (const RoadJob& job : *jobs)
            ids += " " + job.id + (job.state == JobState::Committed ? " (committed)" : "");
        Problem(findings, "the journal still holds" + ids);
    }
    if (std::filesystem::exists(inbox + "Korvalen.staging"))
        Problem(findings, "a staging folder is left in the InBox");
    const std::vector<std::string> archived = FileNames(data + "Archive");
    for (const std::string& name : archived) {
        if (name.find(".part") != std::string::npos)
            Problem(findings, "a copy in the making is left in the archive: " + name);
    }
    if (std::filesystem::exists(data + "Korvalen.jnl.new"))
        Problem(findings, "Korvalen.jnl.new is left");

    // Every message file whole, and the InBox what decoding each archived dump once gives.
    std::vector<std::string> damaged;
    std::vector<InboxRecord> found = InboxRecords(inbox, &damaged);
    for (const std::string& name : FileNames(inbox)) {
        const std::string path = inbox + name;
        if (std::filesystem::is_regular_file(path) && !name.ends_with(".csv") &&
            std::filesystem::file_size(path) == 0) {
            damaged.push_back(name + ": empty");
        }
    }
    if (!damaged.empty()) {
        Problem(findings, std::to_string(damaged.size()) + " message file(s) cut, the first " +
                              damaged.front());
    }
    // A dump archived more often than the readers sent it (a job archived again at its
    // recovery) is counted as often as it was sent, and named.
    int sent = 0;
    for (const LoggerRecord& logger : loggers)
        sent += TransfersWithData(logger.sim_log);
    std::map<std::string, int> copies;  // an archived dump's bytes: how many files hold them
    std::vector<InboxRecord> expected;
    for (const std::string& name : archived) {
        const std::string path = data + "Archive/" + name;
        const auto records = DecodedOnce(path, scratch);
        if (!records.empty() && ++copies[ReadTestFile(path)] > std::max(sent, 1)) {
            Problem(findings, "the archive holds a dump more often than it was sent: " + name);
            continue;
        }
        expected.insert(expected.end(), records.begin(), records.end());
    }
    std::sort(expected.begin(), expected.end());
    std::vector<InboxRecord> lacking;
    std::set_difference(expected.begin(), expected.end(), found.begin(), found.end(),
                        std::back_inserter(lacking));
    std::vector<InboxRecord> extra;
    std::set_difference(found.begin(), found.end(), expected.begin(), expected.end(),
                        std::back_inserter(extra));
    if (!lacking.empty()) {
        Problem(findings, "the InBox lacks " + std::to_string(lacking.size()) +
                              " records of the archived dumps");
    }
    if (!extra.empty()) {
        Problem(findings, "the InBox has " + std::to_string(extra.size()) +
                              " records more than the archived dumps decoded once give");
    }

    std::map<PlainRecord, int> delivered;
    for (const InboxRecord& r : found)
        ++delivered[Plain(r)];
    findings.records_again = static_cast<int>(found.size() - delivered.size());
    std::map<PlainRecord, int> allowed;  // a record's copies: once per transfer that carried it
    for (std::size_t n = 0; n < loggers.size(); ++n) {
        const LoggerRecord& logger = loggers[n];
        const std::string which = loggers.size() > 1 ? " of logger " + std::to_string(n + 1) : "";
        // Every acknowledged transfer is in the archive, whole (after what a transfer cut
        // off before it may have left on the line).
        const std::regex ack("ack ([0-9]+)");
        for (std::sregex_iterator it(logger.sim_log.begin(), logger.sim_log.end(), ack), end;
             it != end; ++it) {
            const auto size = static_cast<std::uintmax_t>(std::stoul((*it)[1]) + 11);
            const bool kept = std::any_of(archived.begin(), archived.end(), [&](const auto& name) {
                return name.find("-ND") != std::string::npos &&
                       std::filesystem::file_size(data + "Archive/" + name) >= size;
            });
            if (!kept)
                Problem(findings, "no archived dump of an acknowledged transfer" + which);
        }

        // Nothing the logger wrote is missing: the reader has forgotten all of it.
        WriteTestFile(scratch + ".trc", ReadTestFile(logger.journal));
        std::map<PlainRecord, int> written;
        for (const InboxRecord& r : DecodedOnce(scratch + ".trc", scratch))
            ++written[Plain(r)];
        std::filesystem::remove(scratch + ".trc");
        const int sent = TransfersWithData(logger.sim_log);
        int missing = 0;
        for (const auto& [record, times] : written) {
            missing += delivered.count(record) == 0 ? 1 : 0;
            allowed[record] += times * sent;
        }
        findings.records_written += static_cast<int>(written.size());
        findings.records_missing += missing;
        findings.records_found += static_cast<int>(written.size()) - missing;
        if (missing > 0) {
            Problem(findings, std::to_string(missing) + " of " + std::to_string(written.size()) +
                                  " records the logger wrote are missing" + which);
        }
    }
    // None comes more often than the readers sent it (loggers may share a record).
    int too_often = 0;
    for (const auto& [record, times] : allowed) {
        const auto got = delivered.find(record);
        too_often += got != delivered.end() && got->second > times ? 1 : 0;
    }
    if (too_often > 0) {
        Problem(findings,
                std::to_string(too_often) + " records came more often than the reader sent them");
    }
    return findings;
}

}  // namespace korvalen::testing
