// Vehicle: one vehicle of the simulated fleet on its working day in a city-like grid.
#include "tools/sim/vehicle.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvalen::sim {
namespace {

using std::chrono::days;
using std::chrono::minutes;
using std::chrono::seconds;

// The city: its centre, the size of a block and the tilt of the grid against north.
constexpr double kCentreLatitude = 55.7520;
constexpr double kCentreLongitude = 37.6175;
constexpr double kMetresPerDegreeLatitude = 111320.0;
constexpr double kBlockMetres = 900.0;
constexpr double kGridTiltDegrees = 14.0;
constexpr int kCityRadiusBlocks = 9;  // crossings from -9 to 9 in both directions
constexpr int kStopRadiusBlocks = 5;  // how far from its depot a vehicle works

// The logger's schedule.
constexpr seconds kDrivingFixInterval{60};
constexpr seconds kEngineOnFixInterval{120};
constexpr seconds kEngineOffFixInterval{300};

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

double Distance(double east, double north) {
    return std::hypot(east, north);
}

}  // namespace

Vehicle::Vehicle(int index, std::uint32_t seed, Seconds start, bool slow_logger)
    : random_(seed * 7919u + static_cast<std::uint32_t>(index) * 104729u + 1u),
      slow_logger_(slow_logger),
      now_(start) {
    depot_ = {Uniform(-6, 6), Uniform(-6, 6)};
    at_ = depot_;
    position_ = Place(depot_);
    course_ = Uniform(0, 359);
    fuel_ = Uniform(40, 90) / 100.0;
    power_on_at_ = NextMorning(start);
    shift_end_ = stand_until_ = next_speed_change_ = next_fix_ = start;
}

std::optional<Fix> Vehicle::Tick() {
    Step();
    if (phase_ == Phase::kOff || !(fix_due_ || now_ >= next_fix_))
        return std::nullopt;
    return TakeFix();
}

Fix Vehicle::FixAt(Seconds time) {
    around_the_clock_ = true;
    time = std::max(time, now_ + seconds{1});
    while (now_ < time)
        Step();
    return TakeFix();
}

void Vehicle::Step() {
    now_ += seconds{1};
    switch (phase_) {
        case Phase::kOff:
            if (around_the_clock_ || now_ >= power_on_at_)
                PowerOn();
            break;
        case Phase::kStanding:
            if (now_ >= stand_until_)
                Depart();
            break;
        case Phase::kDriving:
            Drive();
            break;
    }
}

void Vehicle::PowerOn() {
    phase_ = Phase::kStanding;
    at_ = depot_;
    position_ = Place(depot_);
    ignition_ = true;
    work_switch_ = false;
    heading_home_ = false;
    speed_kmh_ = 0;
    if (fuel_ < 0.35)
        fuel_ = Uniform(85, 98) / 100.0;              // filled up at the depot overnight
    stand_until_ = now_ + seconds{Uniform(60, 300)};  // the crew gets ready
    shift_end_ = now_ + minutes{Uniform(8 * 60, 10 * 60)};
    power_on_pending_ = true;
    fix_due_ = true;
    fresh_fixes_left_ = 1;
}

void Vehicle::Depart() {
    const bool shift_over = !around_the_clock_ && now_ >= shift_end_;
    if (shift_over && at_ == depot_) {
        phase_ = Phase::kOff;  // switched off for the night: the logger takes nothing
        ignition_ = false;
        power_on_at_ = NextMorning(now_);
        return;
    }
    Crossing to = depot_;
    heading_home_ = shift_over;
    while (!shift_over && to == at_) {
        to = {std::clamp(depot_.column + Uniform(-kStopRadiusBlocks, kStopRadiusBlocks),
                         -kCityRadiusBlocks, kCityRadiusBlocks),
              std::clamp(depot_.row + Uniform(-kStopRadiusBlocks, kStopRadiusBlocks),
                         -kCityRadiusBlocks, kCityRadiusBlocks)};
    }
    PlanRoute(to);
    phase_ = Phase::kDriving;
    ignition_ = true;
    work_switch_ = false;
    speed_kmh_ = Uniform(15, 30);  // pulling away
    next_speed_change_ = now_ + seconds{Uniform(10, 30)};
    light_wait_ = 0;
    fix_due_ = true;
}

// The streets run along the grid: the route turns at crossings, alternating between the
// two directions in legs of a few blocks, as a driver zigzags across town.
void Vehicle::PlanRoute(Crossing to) {
    route_.clear();
    Crossing corner = at_;
    bool along_columns = Chance(50);
    while (!(corner == to)) {
        int& coordinate = along_columns ? corner.column : corner.row;
        const int target = along_columns ? to.column : to.row;
        if (coordinate != target) {
            const int remaining = std::abs(target - coordinate);
            const int leg = std::min(remaining, Uniform(1, 3));
            coordinate += target > coordinate ? leg : -leg;
            route_.push_back(Place(corner));
        }
        along_columns = !along_columns;
    }
    at_ = to;
    HeadFor(route_.front());
}

void Vehicle::HeadFor(Metres corner) {
    const double east = corner.east - position_.east;
    const double north = corner.north - position_.north;
    if (Distance(east, north) > 0)
        course_ = std::atan2(east, north) / kRadiansPerDegree;
}

void Vehicle::Drive() {
    if (light_wait_ > 0) {
        if (--light_wait_ == 0)
            speed_kmh_ = Uniform(10, 25);
        return;
    }
    if (now_ >= next_speed_change_) {
        // Arterial roads: mostly 35-60 km/h, sometimes slow traffic.
        speed_kmh_ = Chance(20) ? Uniform(10, 30) : Uniform(35, 62);
        next_speed_change_ = now_ + seconds{Uniform(15, 45)};
    }
    double metres = speed_kmh_ / 3.6;
    fuel_ = std::max(0.05, fuel_ - metres * 0.000004);
    while (metres > 0 && !route_.empty()) {
        const Metres corner = route_.front();
        const double east = corner.east - position_.east;
        const double north = corner.north - position_.north;
        const double left = Distance(east, north);
        if (left > metres) {
            position_.east += east / left * metres;
            position_.north += north / left * metres;
            return;
        }
        position_ = corner;
        metres -= left;
        route_.pop_front();
        if (route_.empty()) {
            Arrive();
            return;
        }
        HeadFor(route_.front());
        fix_due_ = true;  // a turn
        if (Chance(35)) {
            light_wait_ = Uniform(15, 60);
            speed_kmh_ = 0;
            return;
        }
    }
}

void Vehicle::Arrive() {
    phase_ = Phase::kStanding;
    speed_kmh_ = 0;
    fix_due_ = true;
    fresh_fixes_left_ = 1;
    if (heading_home_) {
        ignition_ = false;  // parked for the night; the crew leaves a few minutes later
        stand_until_ = now_ + minutes{Uniform(3, 10)};
    } else if (Chance(40)) {
        ignition_ = true;  // a short stop: the engine runs while the crew works
        work_switch_ = true;
        stand_until_ = now_ + minutes{Uniform(3, 8)};
    } else {
        ignition_ = false;
        stand_until_ = now_ + minutes{Uniform(10, 45)};
    }
}

Fix Vehicle::TakeFix() {
    Fix fix;
    fix.time = now_;
    const double metres_per_degree_longitude =
        kMetresPerDegreeLatitude * std::cos(kCentreLatitude * kRadiansPerDegree);
    fix.latitude = kCentreLatitude + position_.north / kMetresPerDegreeLatitude;
    fix.longitude = kCentreLongitude + position_.east / metres_per_degree_longitude;
    fix.speed_kmh = speed_kmh_;
    const bool driving = phase_ == Phase::kDriving;
    // The GPS course wavers a little around the street's direction.
    const double course = course_ + (driving && speed_kmh_ > 0 ? Uniform(-2, 2) : 0);
    fix.course = static_cast<int>(std::lround(course + 360.0)) % 360;
    if (driving) {
        fix.fresh = true;
        fix.three_d = !Chance(5);
    } else {
        fix.fresh = fresh_fixes_left_ > 0;
        fix.three_d = true;
        if (fresh_fixes_left_ > 0)
            --fresh_fixes_left_;
    }
    if (power_on_pending_) {
        // The logger writes its first record after power-up once it has a real fix.
        fix.power_on = true;
        fix.fresh = true;
        fix.three_d = true;
        power_on_pending_ = false;
    }
    fix.with_inputs = Chance(70);
    fix.ignition = ignition_;
    fix.work_switch = work_switch_;
    fix.supply = static_cast<std::uint8_t>((ignition_ ? 0xC8 : 0xB2) + Uniform(-3, 3));
    fix.fuel = static_cast<std::uint8_t>(std::lround(fuel_ * 255));
    fix.temperature = static_cast<std::uint8_t>(0x50 + Uniform(-4, 4));

    const seconds interval = driving     ? kDrivingFixInterval
                             : ignition_ ? kEngineOnFixInterval
                                         : kEngineOffFixInterval;
    next_fix_ = now_ + (slow_logger_ ? 2 * interval : interval);
    fix_due_ = false;
    return fix;
}

// Switched on between 05:00 and 07:30 UTC.
Seconds Vehicle::NextMorning(Seconds after) {
    const auto midnight = std::chrono::floor<days>(after);
    Seconds morning = midnight + minutes{Uniform(5 * 60, 7 * 60 + 30)};
    if (morning <= after)
        morning += days{1};
    return morning;
}

int Vehicle::Uniform(int low, int high) {
    // Not std::uniform_int_distribution: its results differ between standard libraries,
    // and a seed must give the same flash everywhere.
    const auto span = static_cast<std::uint32_t>(high - low + 1);
    return low + static_cast<int>(random_() % span);
}

bool Vehicle::Chance(int percent) {
    return Uniform(0, 99) < percent;
}

Vehicle::Metres Vehicle::Place(Crossing crossing) {
    const double east = crossing.column * kBlockMetres;
    const double north = crossing.row * kBlockMetres;
    const double tilt = kGridTiltDegrees * kRadiansPerDegree;
    return {east * std::cos(tilt) - north * std::sin(tilt),
            east * std::sin(tilt) + north * std::cos(tilt)};
}

}  // namespace korvalen::sim
