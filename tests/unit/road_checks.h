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
#include "worker/delivered_part.h"
#include "worker/road_journal.h"

namespace korvalen::testing {

// A record without what the decoding of another stream may set otherwise: the power-on
// mark depends on the markers around it, the last-record mark on the file it ends, and
// the report time on the records before it (a run of stale fixes keeps the time it began
// at), which the rest of a transfer that was under way when a capture began does not
// have.
using PlainRecord = std::tuple<std::int32_t, double, double, std::string>;
inline PlainRecord Plain(const InboxRecord& r) {
    std::string text = r.text;
    if (const auto at = text.find("PU "); at != std::string::npos)
        text.erase(at, 3);
    return {r.object, r.longitude, r.latitude, text};
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

// Every record of the message files that decoding `dump` once gives (from its header on,
// with `from_header`: what came before it is the rest of an earlier transfer, the same
// data sent again).
inline std::vector<InboxRecord> DecodedOnce(const std::string& dump, const std::string& scratch,
                                            bool from_header = false) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    Settings settings;
    ApplyDefaults(settings, scratch);
    settings.InboxDir = scratch + "/";
    std::string source = dump;
    if (from_header) {
        const std::string bytes = ReadTestFile(dump);
        const auto start = FindPayloadStart(bytes);
        source = scratch + ".transfer";
        WriteTestFile(source,
                      start ? bytes.substr(static_cast<std::size_t>(start->offset - 11)) : bytes);
    }
    RecordingOperator quiet;
    DecodingPass pass(settings, source, quiet);
    pass.Run();
    std::vector<InboxRecord> records = InboxRecords(scratch);
    std::filesystem::remove_all(scratch);
    if (from_header)
        std::filesystem::remove(source);
    return records;
}

inline std::string FileNameOf(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The payload bytes of a dump of new data; -1 when it is none.
inline std::int64_t NewDataPayload(const std::string& dump) {
    const std::string bytes = ReadTestFile(dump);
    const auto start = FindPayloadStart(bytes);
    return start && start->new_data ? static_cast<std::int64_t>(bytes.size()) - start->offset : -1;
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
// Several data folders (a station with a reader each) may deliver into one InBox.
inline RoadFindings CheckRoad(const std::vector<std::string>& data_folders,
                              const std::string& inbox, const std::string& scratch,
                              const std::vector<LoggerRecord>& loggers) {
    using namespace road_checks_detail;
    RoadFindings findings;

    // Nothing is left half done: no job, no staging folder, no copy or journal in the
    // making.
    std::vector<std::string> archived;  // full paths, each data folder's in turn
    for (const std::string& data : data_folders) {
        std::string text;
        if (!ReadWholeFile(data + "Korvalen.jnl", text)) {
            Problem(findings, "no journal");
        } else if (const auto jobs = ParseJournal(text); !jobs) {
            Problem(findings, "the journal cannot be read");
        } else if (!jobs->jobs.empty()) {
            std::string ids;
            for (const RoadJob& job : jobs->jobs)
                ids += " " + job.id + (job.state == JobState::Committed ? " (committed)" : "");
            Problem(findings, "the journal still holds" + ids);
        }
        for (const std::string& name : FileNames(data + "Archive")) {
            if (name.find(".part") != std::string::npos)
                Problem(findings, "a copy in the making is left in the archive: " + name);
            archived.push_back(data + "Archive/" + name);
        }
        if (std::filesystem::exists(data + "Korvalen.jnl.new"))
            Problem(findings, "Korvalen.jnl.new is left");
    }
    if (std::filesystem::exists(inbox + "Korvalen.staging"))
        Problem(findings, "a staging folder is left in the InBox");

    // Every message file whole.
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
    // recovery) is named.
    int sent = 0;
    for (const LoggerRecord& logger : loggers)
        sent += TransfersWithData(logger.sim_log);
    std::map<std::string, int> copies;  // an archived dump's bytes: how many files hold them
    for (const std::string& path : archived) {
        const std::string bytes = ReadTestFile(path);
        if (bytes.size() > 11 && ++copies[bytes] > std::max(sent, 1))
            Problem(findings, "the archive holds a dump more often than it was sent: " + path);
    }

    // Every record exactly once: the InBox is what decoding each acknowledged transfer
    // once gives. A part delivered of a transfer that ended short, or of one whose
    // acknowledgement never went, is left out when the reader sends it again. The
    // acknowledged transfers are the archive's dumps of new data of the sizes the readers
    // forgot, in order.
    std::multiset<PlainRecord> expected;
    std::vector<std::string> unused = archived;
    for (std::size_t n = 0; n < loggers.size(); ++n) {
        const std::string& log = loggers[n].sim_log;
        const std::string which = loggers.size() > 1 ? " of logger " + std::to_string(n + 1) : "";
        const std::regex ack("ack ([0-9]+)");
        for (std::sregex_iterator it(log.begin(), log.end(), ack), end; it != end; ++it) {
            const std::int64_t size = std::stoll((*it)[1]);
            const auto dump =
                std::find_if(unused.begin(), unused.end(), [&](const std::string& path) {
                    return FileNameOf(path).find("-ND") != std::string::npos &&
                           NewDataPayload(path) == size;
                });
            if (dump == unused.end()) {
                Problem(findings, "no archived dump of an acknowledged transfer" + which);
                continue;
            }
            for (const InboxRecord& r : DecodedOnce(*dump, scratch, true))
                expected.insert(Plain(r));
            unused.erase(dump);
        }
    }
    std::multiset<PlainRecord> delivered;
    for (const InboxRecord& r : found)
        delivered.insert(Plain(r));
    int lacking = 0;
    for (auto key = expected.begin(); key != expected.end(); key = expected.upper_bound(*key)) {
        const auto fewer =
            static_cast<int>(expected.count(*key)) - static_cast<int>(delivered.count(*key));
        lacking += fewer > 0 ? fewer : 0;
    }
    for (auto key = delivered.begin(); key != delivered.end(); key = delivered.upper_bound(*key)) {
        const auto more =
            static_cast<int>(delivered.count(*key)) - static_cast<int>(expected.count(*key));
        findings.records_again += more > 0 ? more : 0;
    }
    if (lacking > 0) {
        Problem(findings, "the InBox lacks " + std::to_string(lacking) +
                              " records of the acknowledged transfers");
    }
    if (findings.records_again > 0) {
        Problem(findings, "the InBox has " + std::to_string(findings.records_again) +
                              " records more than the acknowledged transfers decoded once give");
    }

    // Nothing the loggers wrote is missing: the readers have forgotten all of it.
    for (std::size_t n = 0; n < loggers.size(); ++n) {
        const LoggerRecord& logger = loggers[n];
        const std::string which = loggers.size() > 1 ? " of logger " + std::to_string(n + 1) : "";
        WriteTestFile(scratch + ".trc", ReadTestFile(logger.journal));
        std::set<PlainRecord> written;
        for (const InboxRecord& r : DecodedOnce(scratch + ".trc", scratch))
            written.insert(Plain(r));
        std::filesystem::remove(scratch + ".trc");
        int missing = 0;
        for (const PlainRecord& record : written)
            missing += delivered.count(record) == 0 ? 1 : 0;
        findings.records_written += static_cast<int>(written.size());
        findings.records_missing += missing;
        findings.records_found += static_cast<int>(written.size()) - missing;
        if (missing > 0) {
            Problem(findings, std::to_string(missing) + " of " + std::to_string(written.size()) +
                                  " records the logger wrote are missing" + which);
        }
    }
    return findings;
}

inline RoadFindings CheckRoad(const std::string& data, const std::string& inbox,
                              const std::string& scratch,
                              const std::vector<LoggerRecord>& loggers) {
    return CheckRoad(std::vector<std::string>{data}, inbox, scratch, loggers);
}

}  // namespace korvalen::testing
