// One vehicle's route in a decoding pass: its output files and the record it holds back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
    std::string OutputFolder;
    std::int32_t FileNumber = 0;
    std::int32_t ObjectID = 0;
    bool WriteMessageFiles = true;
    bool WriteCsvC = false;
    bool WriteCsvN = false;
    std::int32_t IndInNum = 0;  // 0 = IN1, 1 = IN2, 2 = IN3
    std::int32_t IndInStatus = 0;
    bool IndInChk = false;
    MapFileOptions MapFiles;  // neither GPX nor KML: the route is not put on a map
};

// The route of one vehicle during a decoding pass: its output files, its counters and
// date range, and the latest record, which is held back until the next record of the
// object (or the end of the pass) shows that nothing will change it any more.
//
// A value type: copies share the open output files (the final WriteHeld closes them
// once). Messages go to the sink given at creation, which must outlive the route.
class CSpecMRVMessage {
  public:
    // Creates the route and opens its enabled outputs: the message file, then the "C"
    // and the "N" CSV file. An output that cannot be opened is reported and stays off.
    // The map files are written at the end, from the records written meanwhile.
    CSpecMRVMessage(const RouteOptions& options, MessageSink& messages, const Clock& clock,
                    const CsvWait& csv_wait = SleepWait);
    virtual ~CSpecMRVMessage() = default;
    CSpecMRVMessage(const CSpecMRVMessage&) = default;
    CSpecMRVMessage& operator=(const CSpecMRVMessage&) = default;
    CSpecMRVMessage(CSpecMRVMessage&&) = default;
    CSpecMRVMessage& operator=(CSpecMRVMessage&&) = default;

    // Takes the next record of the object: the ignition rule and standing runs may change
    // it against the held one; it becomes the held record and widens the date range.
    // Throws std::invalid_argument for a date that has no local midnight (the pass checks
    // dates first). Returns true.
    bool Add(MRVMessage&& message);

    // Writes the held record to every open output (message file, "C", "N") and hands it
    // to the map track; with `last` set it carries the last-record mark, every file is
    // closed afterwards and the map files are written. False when any write failed (each
    // file's first failure has been shown) or an error escaped the writers.
    bool WriteHeld(bool last);

    // Records that did not reach every enabled output: a write failed, or the output's
    // file could not be opened at all.
    std::int32_t UnwrittenRecords() const { return unwritten_records_; }
    // The final write could not write every map file asked for.
    bool MapFilesFailed() const { return map_files_failed_; }

    // The line of the pass's summary; empty when no record had a usable position.
    std::string FormatRouteStatistics() const;

    std::int64_t FirstDate = 0;  // seconds since 1970 of the local midnight of the dates
    std::int64_t LastDate = 0;
    std::shared_ptr<OutputFile> MessageFile;
    std::shared_ptr<OutputFile> CsvCFile;
    std::shared_ptr<OutputFile> CsvNFile;
    std::string MessageFileName;
    std::string CsvNFileName;
    std::string CsvCFileName;
    std::int32_t WriteCsvC = 0;
    std::int32_t WriteCsvN = 0;
    std::int32_t WriteMessageFiles = 0;
    MRVMessage Held;
    std::int32_t RecordCount = 0;
    std::int32_t PointCount = 0;  // records whose position is usable
    std::int32_t FileNumber = 0;
    std::int32_t ObjectID = 0;
    std::string OutputFolder;
    std::int32_t IndInNum = 0;  // 0 = IN1, 1 = IN2, 2 = IN3
    std::int32_t IndInStatus = 0;
    bool IndInChk = false;
    MapFileOptions MapFiles;
    // The route on a map, when map files were asked for (none otherwise): it sees every
    // written record, and the final write puts it into the files of MapFiles.
    std::shared_ptr<MapTrack> Map;

  private:
    // Computed before anything changes, so that a throwing Add leaves the route as it was.
    std::int64_t MidnightOf(const MRVMessage& m);

    MessageSink* messages_;
    // Local midnight of the last date seen: consecutive records mostly share their date.
    std::int32_t midnight_year_ = 0;
    std::int32_t midnight_month_ = 0;
    std::int32_t midnight_day_ = 0;
    std::int64_t midnight_ = 0;
    std::int32_t unwritten_records_ = 0;
    bool map_files_failed_ = false;
};

}  // namespace korvalen
