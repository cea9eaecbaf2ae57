// A route at work: its outputs opened, the ignition and standing rules applied to each record,
// and the held record written one step late.
#include "decode/route.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>

#include "output/message_file.h"
#include "output/route_statistics.h"
#include "platform/file_messages.h"

namespace korvalen {
namespace {

// The CSV lines carry no last-record mark.
void WriteCsvC(const MRVMessage& report, bool, OutputFile& file) {
    WriteCsvCLine(report, file);
}
void WriteCsvN(const MRVMessage& report, bool, OutputFile& file) {
    WriteCsvNLine(report, file);
}

}  // namespace

CSpecMRVMessage::CSpecMRVMessage(const RouteOptions& options, MessageSink& messages,
                                 const Clock& clock, const CsvWait& csv_wait)
    : options_(options), messages_(&messages) {
    message_.enabled = options_.WriteMessageFiles;
    csv_c_.enabled = options_.WriteCsvC;
    csv_n_.enabled = options_.WriteCsvN;
    if (message_.enabled) {
        message_.name = options_.StagingFolder.empty()
                            ? MakeMessageFileName(options_.OutputFolder, options_.FileNumber, clock)
                            : MakeMessageFileName(options_.StagingFolder, options_.FileNumber,
                                                  clock, options_.OutputFolder);
        message_.file = OpenMessageFile(message_.name, messages);
    }
    if (csv_c_.enabled) {
        csv_c_.file =
            OpenCsv(options_.OutputFolder, options_.ObjectID, 'C', csv_c_.name, messages, csv_wait);
    }
    if (csv_n_.enabled) {
        csv_n_.file =
            OpenCsv(options_.OutputFolder, options_.ObjectID, 'N', csv_n_.name, messages, csv_wait);
    }
    for (Output* output : {&message_, &csv_c_, &csv_n_}) {
        if (output->enabled && !output->file)
            output->failed = true;
        if (output->file) {
            output->opened = true;
            output->starting_length = output->file->starting_length();
            output->file->set_durable(options_.DurableFiles);
        }
    }
    if (options_.MapFiles.gpx || options_.MapFiles.kml) {
        std::optional<IgnitionInput> ignition;
        if (options_.IndInChk)
            ignition = IgnitionInput{options_.IndInNum, options_.IndInStatus};
        map_ = std::make_unique<MapTrack>(options_.ObjectID, ignition);
    }
}

CSpecMRVMessage::~CSpecMRVMessage() = default;
CSpecMRVMessage::CSpecMRVMessage(CSpecMRVMessage&&) noexcept = default;
CSpecMRVMessage& CSpecMRVMessage::operator=(CSpecMRVMessage&&) noexcept = default;

void CSpecMRVMessage::Add(MRVMessage m, bool delivered_before) {
    if (holds_record_) {
        // Ignition off: the vehicle stands where it was. Only a record that carries its
        // inputs can tell; an earlier record than the held one is left alone.
        if (options_.IndInChk && m.HasInputs && held_.ReportTime <= m.ReportTime) {
            const std::int32_t input = options_.IndInNum;
            const bool ignition_on =
                input >= 0 && input <= 2 &&
                m.Inputs[static_cast<std::size_t>(input)] == options_.IndInStatus;
            if (!ignition_on) {
                m.Longitude = held_.Longitude;
                m.Latitude = held_.Latitude;
                m.Course = held_.Course;
                m.Speed = 0;
            }
        }
        // A run of stale fixes at one place keeps the time at which the run began.
        if (held_.Validity == 1 && m.Validity == 1 && m.FixTime >= held_.FixTime &&
            m.Longitude == held_.Longitude && m.Latitude == held_.Latitude) {
            m.ReportTimeParts = held_.ReportTimeParts;
            m.ReportTime = held_.ReportTime;
        }
    }
    const std::int64_t midnight = MidnightOf(m);
    held_ = m;
    holds_record_ = true;
    held_delivered_before_ = delivered_before;
    if (delivered_before)
        return;
    if (record_count_ == 0) {
        first_date_ = last_date_ = midnight;
    } else {
        first_date_ = std::min(first_date_, midnight);
        last_date_ = std::max(last_date_, midnight);
    }
    if (!held_.NoPosition)
        ++point_count_;
    ++record_count_;
}

std::int64_t CSpecMRVMessage::MidnightOf(const MRVMessage& m) {
    if (record_count_ > 0 && m.Year == midnight_year_ && m.Month == midnight_month_ &&
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

bool CSpecMRVMessage::WriteTo(Output& output, Writer writer, bool last) {
    if (!output.file)
        return false;
    try {
        writer(held_, last, *output.file);
        if (last) {
            WriteStep(CodePeriod::With, [&] { output.file->Close(); });
            output.ending_length = output.file->length();
            output.file.reset();
        }
        return true;
    } catch (const OutputWriteError& error) {
        output.failed = true;
        // After its first failure the file is closed and refuses every later record: a
        // full disk brings one message per file, not one per record.
        if (output.file->TakeFailureReport())
            ShowWriteFailure(*messages_, error.period(), error.code(), output.name);
        if (last)
            output.file.reset();
        return false;
    }
}

bool CSpecMRVMessage::WriteHeld(bool last) {
    if (held_delivered_before_)
        return !last || CloseWithoutWriting();
    bool ok = true;
    bool lost = false;  // an output that did not get the record, failed or never opened
    bool maps_ok = true;
    try {
        const struct {
            Output& output;
            Writer writer;
        } steps[] = {{message_, WriteMessageRecords}, {csv_c_, WriteCsvC}, {csv_n_, WriteCsvN}};
        for (const auto& step : steps) {
            if (!step.output.enabled)
                continue;
            const bool had_file = step.output.file != nullptr;
            if (!WriteTo(step.output, step.writer, last)) {
                lost = true;
                // A file that never opened has been told of already, and counts as a
                // failed file of the pass, not as a failed write.
                if (had_file)
                    ok = false;
            }
        }
        if (map_) {
            map_->Add(held_);
            if (last) {
                // A map file that fails is an error of the pass, but the record itself
                // reached the dispatcher's outputs.
                maps_ok = WriteMapFiles(*map_, options_.MapFiles, *messages_);
                map_files_failed_ = !maps_ok;
                map_.reset();
            }
        }
    } catch (const std::exception&) {
        ok = false;
    }
    if (lost || !ok)
        ++unwritten_records_;
    return ok && maps_ok;
}

// Records delivered before come first in a dump: a route whose held record is one of them
// at the end has no record of its own, and its files close as they were opened.
bool CSpecMRVMessage::CloseWithoutWriting() {
    bool ok = true;
    for (Output* output : {&message_, &csv_c_, &csv_n_}) {
        if (!output->file)
            continue;
        try {
            output->file->Close();
            output->ending_length = output->file->length();
        } catch (const FileError& error) {
            ok = false;
            output->failed = true;
            ShowWriteFailure(*messages_, CodePeriod::With, error.code(), output->name);
        }
        output->file.reset();
    }
    map_.reset();
    return ok;
}

std::vector<CsvFileMark> CSpecMRVMessage::CsvFiles() const {
    std::vector<CsvFileMark> marks;
    for (const Output* output : {&csv_c_, &csv_n_}) {
        if (output->opened)
            marks.push_back({output->name, output->starting_length, output->ending_length});
    }
    return marks;
}

int CSpecMRVMessage::FailedFiles() const {
    return (message_.failed ? 1 : 0) + (csv_c_.failed ? 1 : 0) + (csv_n_.failed ? 1 : 0);
}

std::string CSpecMRVMessage::FormatRouteStatistics() const {
    return korvalen::FormatRouteStatistics(options_.ObjectID, point_count_, first_date_,
                                           last_date_);
}

}  // namespace korvalen
