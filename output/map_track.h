// One route as a map shows it: its points and its events (power-ons, the ignition).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/mrv_message.h"

namespace korvalen {

// One position of a route on a map: where the dispatcher was told the object was.
struct MapPoint {
    double latitude = 0;              // degrees, north positive
    double longitude = 0;             // degrees, east positive
    std::optional<std::int64_t> utc;  // seconds since 1970 of the fix; none if unplaceable
    bool three_d = false;             // a 3D fix (else 2D, taken with Use2D)
};

enum class MapEventKind { PowerOn, IgnitionOn, IgnitionOff };

// A moment of a route worth a pin of its own.
struct MapEvent {
    MapEventKind kind = MapEventKind::PowerOn;
    double latitude = 0;
    double longitude = 0;
    std::optional<std::int64_t> utc;
};

// "Включение регистратора", "Зажигание включено", "Зажигание выключено".
const char* MapEventName(MapEventKind kind);

// Which input tells that the ignition is on, as the route's ignition rule reads it.
struct IgnitionInput {
    std::int32_t input = 0;  // 0 = IN1, 1 = IN2, 2 = IN3
    std::int32_t on_state = 0;
};

// The route of one object as a map shows it, built from the reports in the order the
// route writes them to the dispatcher: every report whose position goes to the message
// file is a point, at its fix time; power-ons and changes of the ignition are events.
// A position no map can hold (a latitude beyond 90 degrees, a longitude beyond 180,
// which a damaged record can carry) is left out; 180 degrees east is written as 180 west.
class MapTrack {
  public:
    // `ignition` empty: the object has no ignition indicator, so no ignition events.
    MapTrack(std::int32_t object_id, std::optional<IgnitionInput> ignition);

    // Takes the next written report (its local fix time becomes UTC through the zone).
    void Add(const MRVMessage& report);

    std::int32_t object_id() const { return object_id_; }
    const std::vector<MapPoint>& points() const { return points_; }
    // Events in the order they happened in the route; each at the position the route had
    // then (a change seen before the first position waits for that position).
    std::vector<MapEvent> events() const;

  private:
    // The fix time in UTC. The C library's conversion reads the zone's rules at every
    // call; a route's records mostly share their hour, whose start is converted once. The
    // zone's offset changes on the hour, so the minutes and seconds simply add.
    std::optional<std::int64_t> ToUtc(const CalendarTime& local);

    struct PendingEvent {
        MapEventKind kind;
        std::optional<std::int64_t> utc;
        std::size_t points_before;  // the event is at the last of these, or the next one
    };

    std::int32_t object_id_;
    std::optional<IgnitionInput> ignition_;
    std::optional<bool> ignition_on_;  // as the last report with inputs showed it
    std::vector<MapPoint> points_;
    std::vector<PendingEvent> events_;
    std::int64_t hour_key_ = -1;  // year, month, day and hour of hour_start_
    std::optional<std::int64_t> hour_start_;
};

// How both map formats write the values: degrees with the logger's five decimals, times
// as "2007-11-01T06:30:00Z".
std::string FormatMapDegrees(double degrees);
std::string FormatMapTime(std::int64_t utc);

}  // namespace korvalen
