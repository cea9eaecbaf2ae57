// A route's points and events, built from the records as they are written, and the way
// the map files write degrees and times.
#include "output/map_track.h"

#include <charconv>

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
    const std::optional<std::int64_t> utc = ToUtc(report.FixTimeParts);
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

std::optional<std::int64_t> MapTrack::ToUtc(const CalendarTime& local) {
    const std::int64_t key =
        ((static_cast<std::int64_t>(local.year) * 100 + local.month) * 100 + local.day) * 100 +
        local.hour;
    if (key != hour_key_) {
        hour_key_ = key;
        hour_start_ = LocalTimeToUtc({local.year, local.month, local.day, local.hour, 0, 0, 0});
    }
    if (!hour_start_)
        return std::nullopt;
    return *hour_start_ + std::int64_t{local.minute} * 60 + local.second;
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

// std::to_chars: printf's digits (both round the exact value), at a fraction of its cost
// on the hundreds of thousands of points of a large dump.
std::string FormatMapDegrees(double degrees) {
    std::string text(32, '\0');  // "-180.00000" at most for degrees on a map
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), degrees, std::chars_format::fixed, 5);
    text.resize(static_cast<std::size_t>(result.ptr - text.data()));
    return text;
}

std::string FormatMapTime(std::int64_t utc) {
    const CalendarTime t = UtcCalendarOf(utc);
    std::string text = "0000-00-00T00:00:00Z";
    const auto put = [&text](std::size_t at, std::size_t width, int value) {
        for (std::size_t i = width; i-- > 0; value /= 10)
            text[at + i] = static_cast<char>('0' + value % 10);
    };
    put(0, 4, t.year);
    put(5, 2, t.month);
    put(8, 2, t.day);
    put(11, 2, t.hour);
    put(14, 2, t.minute);
    put(17, 2, t.second);
    return text;
}

}  // namespace korvalen
