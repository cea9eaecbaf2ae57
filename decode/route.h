// One vehicle's route in a decoding pass: its output files and the record it holds back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/csv_file.h"
#include "output/map_files.h"
#include "output/map_track.h"
#include "output/output_file.h"
#include "platform/clock.h"
#include "platform/message_sink.h"
#include "record/mrv_message.h"

namespace korvalen {

// What a route is made with: where and under which number its files go, which outputs
// it writes, and the ignition rule. Named fields, so that no two can be swapped.
struct RouteOptions {
    std::string OutputFolder;  // the InBox: the message file ends up here, the CSV files grow here
    // Where the message file is made, when not in the InBox itself: a folder the
    // dispatcher does not look into, from which the pass moves the finished file. Its
    // name is free in both folders.
    std::string StagingFolder;
    std::int32_t FileNumber = 0;
    std::int32_t ObjectID = 0;
    bool WriteMessageFiles = true;
    bool WriteCsvC = false;
    bool WriteCsvN = false;
    std::int32_t IndInNum = 0;  // 0 = IN1, 1 = IN2, 2 = IN3
    std::int32_t IndInStatus = 0;
    bool IndInChk = false;
    MapFileOptions MapFiles;  // neither GPX nor KML: the route is not put on a map
    // The files are put onto the disk itself when they are closed: a pass whose files
    // are handed over only once they are all safe.
    bool DurableFiles = false;
};

// The route of one vehicle during a decoding pass: its output files, its counters and
// date range, and the latest record, which is held back until the next record of the
// object (or the end of the pass) shows that nothing will change it any more.
//
// It owns its files: it can be moved, not copied, and its final WriteHeld closes them.
// Messages go to the sink given at creation, which must outlive the route.
class CSpecMRVMessage {
  public:
    // Creates the route and opens its enabled outputs: the message file, then the "C"
    // and the "N" CSV file. An output that cannot be opened is reported and stays off.
    // The map files are written at the end, from the records written meanwhile.
    CSpecMRVMessage(const RouteOptions& options, MessageSink& messages, const Clock& clock,
                    const CsvWait& csv_wait = SleepWait);
    ~CSpecMRVMessage();
    CSpecMRVMessage(CSpecMRVMessage&&) noexcept;
    CSpecMRVMessage& operator=(CSpecMRVMessage&&) noexcept;
    CSpecMRVMessage(const CSpecMRVMessage&) = delete;
    CSpecMRVMessage& operator=(const CSpecMRVMessage&) = delete;

    // Takes the next record of the object: the ignition rule and standing runs may change
    // it against the held one; it becomes the held record and widens the date range.
    // Throws std::invalid_argument for a date that has no local midnight (the pass checks
    // dates first), leaving the route as it was. A record `delivered_before` (with an
    // earlier part of the same transfer) is held as any other, so that the records after
    // it come out as they would have, but it is written nowhere and counted in nothing.
    void Add(MRVMessage message, bool delivered_before = false);

    // Writes the held record to every open output (message file, "C", "N") and hands it
    // to the map track; with `last` set it carries the last-record mark, every file is
    // closed afterwards and the map files are written. False when any write failed (each
    // file's first failure has been shown) or an error escaped the writers.
    bool WriteHeld(bool last);

    std::int32_t ObjectID() const { return options_.ObjectID; }
    const MRVMessage& Held() const { return held_; }
    std::int32_t RecordCount() const { return record_count_; }  // not delivered before
    std::int32_t PointCount() const { return point_count_; }    // records with a usable position
    // Seconds since 1970 of the local midnights of the earliest and the latest date.
    std::int64_t FirstDate() const { return first_date_; }
    std::int64_t LastDate() const { return last_date_; }
    // The message file's path (in the staging folder when there is one); empty when the
    // route writes none.
    const std::string& MessageFileName() const { return message_.name; }
    // The CSV files it appends to (those that opened), with their lengths before.
    std::vector<CsvFileMark> CsvFiles() const;

    // Records that did not reach every enabled output: a write failed, or the output's
    // file could not be opened at all.
    std::int32_t UnwrittenRecords() const { return unwritten_records_; }
    // Outputs that could not be opened or written (at most three).
    int FailedFiles() const;
    // The final write could not write every map file asked for.
    bool MapFilesFailed() const { return map_files_failed_; }

    // The line of the pass's summary; empty when no record had a usable position.
    std::string FormatRouteStatistics() const;

  private:
    // One output: its file while it is open, its name, and whether it ever failed.
    struct Output {
        bool enabled = false;
        std::unique_ptr<OutputFile> file;
        std::string name;
        bool opened = false;
        std::int64_t starting_length = 0;
        std::int64_t ending_length = -1;  // once the final write has closed it
        bool failed = false;
    };
    using Writer = void (*)(const MRVMessage&, bool last, OutputFile&);

    // Writes the held record to one output and, with `last`, closes it. A write the
    // system refused is told here, once per file, with the message of the step that
    // failed. False when it failed or the output has no file.
    bool WriteTo(Output& output, Writer writer, bool last);
    bool CloseWithoutWriting();
    // Computed before anything changes, so that a throwing Add leaves the route as it was.
    std::int64_t MidnightOf(const MRVMessage& m);

    RouteOptions options_;
    MessageSink* messages_;
    Output message_;
    Output csv_c_;
    Output csv_n_;
    // The route on a map, when map files were asked for: it sees every written record,
    // and the final write puts it into the files of options_.MapFiles.
    std::unique_ptr<MapTrack> map_;

    MRVMessage held_;
    bool holds_record_ = false;
    bool held_delivered_before_ = false;
    std::int32_t record_count_ = 0;
    std::int32_t point_count_ = 0;
    std::int64_t first_date_ = 0;
    std::int64_t last_date_ = 0;
    // Local midnight of the last date seen: consecutive records mostly share their date.
    std::int32_t midnight_year_ = 0;
    std::int32_t midnight_month_ = 0;
    std::int32_t midnight_day_ = 0;
    std::int64_t midnight_ = 0;
    std::int32_t unwritten_records_ = 0;
    bool map_files_failed_ = false;
};

}  // namespace korvalen
