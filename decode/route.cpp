// A route at work: its outputs opened, the ignition and standing rules applied to each record,
// and the held record written one step late.
#include "decode/route.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>

#include "output/message_file.h"
#include "output/route_statistics.h"

namespace korvalen {

CSpecMRVMessage::CSpecMRVMessage(const RouteOptions& options, MessageSink& messages,
                                 const Clock& clock, const CsvWait& csv_wait)
    : WriteCsvC(options.WriteCsvC),
      WriteCsvN(options.WriteCsvN),
      WriteMessageFiles(options.WriteMessageFiles),
      FileNumber(options.FileNumber),
      ObjectID(options.ObjectID),
      OutputFolder(options.OutputFolder),
      IndInNum(options.IndInNum),
      IndInStatus(options.IndInStatus),
      IndInChk(options.IndInChk),
      MapFiles(options.MapFiles),
      messages_(&messages) {
    if (WriteMessageFiles) {
        MessageFileName = MakeMessageFileName(OutputFolder, FileNumber, clock);
        MessageFile = OpenMessageFile(MessageFileName, messages);
    }
    if (WriteCsvC)
        CsvCFile = OpenCsv(OutputFolder, ObjectID, 'C', CsvCFileName, messages, csv_wait);
    if (WriteCsvN)
        CsvNFile = OpenCsv(OutputFolder, ObjectID, 'N', CsvNFileName, messages, csv_wait);
    if (MapFiles.gpx || MapFiles.kml) {
        std::optional<IgnitionInput> ignition;
        if (IndInChk)
            ignition = IgnitionInput{IndInNum, IndInStatus};
        Map = std::make_shared<MapTrack>(ObjectID, ignition);
    }
}

bool CSpecMRVMessage::Add(MRVMessage&& m) {
    const bool first = RecordCount == 0;
    if (!first) {
        // Ignition off: the vehicle stands where it was. Only a record that carries its
        // inputs can tell; an earlier record than the held one is left alone.
        if (IndInChk && m.HasInputs && Held.ReportTime <= m.ReportTime) {
            const bool ignition_on = IndInNum >= 0 && IndInNum <= 2 &&
                                     m.Inputs[static_cast<std::size_t>(IndInNum)] == IndInStatus;
            if (!ignition_on) {
                m.Longitude = Held.Longitude;
                m.Latitude = Held.Latitude;
                m.Course = Held.Course;
                m.Speed = 0;
            }
        }
        // A run of stale fixes at one place keeps the time at which the run began.
        if (Held.Validity == 1 && m.Validity == 1 && m.FixTime >= Held.FixTime &&
            m.Longitude == Held.Longitude && m.Latitude == Held.Latitude) {
            m.ReportTimeParts = Held.ReportTimeParts;
            m.ReportTime = Held.ReportTime;
        }
    }
    const std::int64_t midnight = MidnightOf(m);
    // The writers name their file in Held.FileName before each write; handing the old
    // name's storage on saves an allocation per record.
    m.FileName.swap(Held.FileName);
    Held = std::move(m);
    Held.FileName.clear();
    if (first) {
        FirstDate = LastDate = midnight;
    } else {
        FirstDate = std::min(FirstDate, midnight);
        LastDate = std::max(LastDate, midnight);
    }
    if (!Held.NoPosition)
        ++PointCount;
    ++RecordCount;
    return true;
}

std::int64_t CSpecMRVMessage::MidnightOf(const MRVMessage& m) {
    if (RecordCount > 0 && m.Year == midnight_year_ && m.Month == midnight_month_ &&
        m.Day == midnight_day_) {
        return midnight_;
    }
    const auto midnight = LocalMidnight(m.Year, m.Month, m.Day);
    if (!midnight)
        throw std::invalid_argument("record date without a local midnight");
    midnight_year_ = m.Year;
    midnight_month_ = m.Month;
    midnight_day_ = m.Day;
    midnight_ = *midnight;
    return midnight_;
}

bool CSpecMRVMessage::WriteHeld(bool last) {
    using Writer = bool (*)(MRVMessage&, const std::string&, OutputFile&, bool, MessageSink&);
    MessageSink& sink = *messages_;
    bool ok = true;
    bool lost = false;  // an output that did not get the record, failed or never opened
    bool maps_ok = true;
    // Writes the held record to one output; the final write also closes that output.
    const auto write = [&](std::int32_t enabled, std::shared_ptr<OutputFile>& file,
                           const std::string& name, Writer writer) {
        if (!enabled)
            return;
        if (!file) {
            lost = true;
            return;
        }
        if (!writer(Held, name, *file, last, sink))
            ok = false;
        if (last) {
            if (!CloseOutputFile(*file, name, sink))
                ok = false;
            file.reset();
        }
    };
    try {
        write(WriteMessageFiles, MessageFile, MessageFileName, WriteMessageRecords);
        write(WriteCsvC, CsvCFile, CsvCFileName, WriteCsvCLine);
        write(WriteCsvN, CsvNFile, CsvNFileName, WriteCsvNLine);
        if (Map) {
            Map->Add(Held);
            if (last) {
                // A map file that fails is an error of the pass, but the record itself
                // reached the dispatcher's outputs.
                maps_ok = WriteMapFiles(*Map, MapFiles, sink);
                map_files_failed_ = !maps_ok;
                Map.reset();
            }
        }
    } catch (const std::exception&) {
        ok = false;
    }
    if (lost || !ok)
        ++unwritten_records_;
    return ok && maps_ok;
}

std::string CSpecMRVMessage::FormatRouteStatistics() const {
    return korvalen::FormatRouteStatistics(ObjectID, PointCount, FirstDate, LastDate);
}

}  // namespace korvalen
