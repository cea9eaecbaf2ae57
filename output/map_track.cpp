#include "output/map_track.h"

#include "output/string_printf.h"
#include "platform/clock.h"

namespace korvalen {

const char* MapEventName(MapEventKind kind) {
    switch (kind) {
        case MapEventKind::PowerOn:
            return "Включение регистратора";
        case MapEventKind::IgnitionOn:
            return "Зажигание включено";
        case MapEventKind::IgnitionOff:
            return "Зажигание выключено";
    }
    return "";
}

MapTrack::MapTrack(std::int32_t object_id, std::optional<IgnitionInput> ignition)
    : object_id_(object_id), ignition_(ignition) {}

void MapTrack::Add(const MRVMessage& report) {
    const std::optional<std::int64_t> utc = LocalTimeToUtc(report.FixTimeParts);
    // Exactly the reports that give the message file a position record.
    if (!report.NoPosition && report.Latitude >= -90 && report.Latitude <= 90 &&
        report.Longitude >= -180 && report.Longitude <= 180) {
        const double longitude = report.Longitude == 180 ? -180 : report.Longitude;
        points_.push_back({report.Latitude, longitude, utc, report.FixMode == 1});
    }
    if (report.PowerUp)
        events_.push_back({MapEventKind::PowerOn, utc, points_.size()});
    if (ignition_ && report.HasInputs) {
        // Read as the route's ignition rule reads it: another input number means "off".
        const std::int32_t input = ignition_->input;
        const bool on = input >= 0 && input <= 2 &&
                        report.Inputs[static_cast<std::size_t>(input)] == ignition_->on_state;
        if (ignition_on_ && *ignition_on_ != on) {
            events_.push_back(
                {on ? MapEventKind::IgnitionOn : MapEventKind::IgnitionOff, utc, points_.size()});
        }
        ignition_on_ = on;
    }
}

std::vector<MapEvent> MapTrack::events() const {
    std::vector<MapEvent> placed;
    if (points_.empty())
        return placed;
    for (const PendingEvent& event : events_) {
        const MapPoint& at = points_[event.points_before > 0 ? event.points_before - 1 : 0];
        placed.push_back({event.kind, at.latitude, at.longitude, event.utc});
    }
    return placed;
}

std::string FormatMapDegrees(double degrees) {
    return StringPrintf("%.5f", degrees);
}

std::string FormatMapTime(std::int64_t utc) {
    const CalendarTime t = UtcCalendarOf(utc);
    return StringPrintf("%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute,
                        t.second);
}

}  // namespace korvalen
