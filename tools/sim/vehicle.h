// Vehicle: one vehicle of the simulated fleet on its working day in a city-like grid.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>

namespace korvalen::sim {

using Seconds = std::chrono::sys_seconds;

// What the vehicle's logger takes at one moment, in physical units; the logger model
// turns it into the characters of a record.
struct Fix {
    Seconds time;
    double latitude = 0;   // degrees
    double longitude = 0;  // degrees
    double speed_kmh = 0;
    int course = 0;                // degrees, 0-359
    bool fresh = true;             // false: stale, the last known position repeated
    bool three_d = true;           // false: a 2D fix
    bool with_inputs = true;       // the long form with inputs and analog values
    bool ignition = false;         // IN1
    bool work_switch = false;      // IN2: on while the crew works at a stop with the engine on
    std::uint8_t supply = 0;       // A0: on-board voltage, raw
    std::uint8_t fuel = 0;         // A1: fuel level, raw
    std::uint8_t temperature = 0;  // A2: logger temperature, raw
    bool power_on = false;         // the first fix after the logger was switched on
};

// The vehicle lives in a street grid of square blocks around a city centre, tilted
// against north so that courses are not all multiples of 90. On a working day it is
// switched on at its depot in the morning (the logger powers up), drives from stop to
// stop along the streets, waits at traffic lights, stands at stops (with the engine on
// for short ones, off for long ones), drives back to the depot at the shift's end and is
// switched off for the night.
//
// Its logger takes a fix every minute while driving and at every turn, at arrival and
// departure, and every few minutes while standing; a standing vehicle's GPS mostly has no
// fresh fix (it is parked under a roof or between houses), so the logger repeats the
// last known position as stale fixes. A few fixes while driving are only 2D.
class Vehicle {
  public:
    // `slow_logger`: an older logger that takes fixes half as often.
    Vehicle(int index, std::uint32_t seed, Seconds start, bool slow_logger);

    // Moves one second on; the fix the logger takes at that second, if any.
    std::optional<Fix> Tick();

    // Moves on to `time` (at least one second after the last fix) and takes a fix there,
    // outside the logger's own schedule: how the running simulator records. The vehicle
    // works around the clock from then on, powering up at once if it was switched off.
    Fix FixAt(Seconds time);

    Seconds now() const { return now_; }

  private:
    struct Metres {
        double east = 0;
        double north = 0;
    };
    struct Crossing {
        int column = 0;
        int row = 0;
        bool operator==(const Crossing&) const = default;
    };
    enum class Phase { kOff, kStanding, kDriving };

    void Step();
    void PowerOn();
    void Depart();
    void Drive();
    void Arrive();
    void PlanRoute(Crossing to);
    void HeadFor(Metres corner);
    Fix TakeFix();
    Seconds NextMorning(Seconds after);
    int Uniform(int low, int high);  // inclusive
    bool Chance(int percent);
    static Metres Place(Crossing crossing);

    std::mt19937 random_;
    bool slow_logger_;
    bool around_the_clock_ = false;
    Seconds now_;
    Phase phase_ = Phase::kOff;
    Crossing depot_;
    Crossing at_;  // where the vehicle stands, or where it drives to
    Metres position_;
    std::deque<Metres> route_;  // the corners ahead, the stop last
    double speed_kmh_ = 0;
    double course_ = 0;
    bool ignition_ = false;
    bool work_switch_ = false;
    bool heading_home_ = false;
    double fuel_ = 0.8;  // share of a full tank
    Seconds power_on_at_;
    Seconds shift_end_;
    Seconds stand_until_;
    Seconds next_speed_change_;
    int light_wait_ = 0;  // seconds still to wait at a red light
    Seconds next_fix_;
    bool fix_due_ = false;      // an event (turn, arrival, departure, power-on) wants a fix
    int fresh_fixes_left_ = 0;  // fresh fixes still to come at a stop before they go stale
    bool power_on_pending_ = false;
};

}  // namespace korvalen::sim
