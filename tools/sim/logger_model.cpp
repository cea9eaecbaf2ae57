// LoggerModel: the fleet's loggers writing records into the flash, before and while the
// simulator runs.
#include "tools/sim/logger_model.h"

#include <algorithm>
#include <cmath>

#include "support/dump_builder.h"
#include "tools/sim/flash_memory.h"

namespace korvalen::sim {
namespace {

constexpr double kKmhPerKnot = 1.853;  // as the decoding pass converts
constexpr int kMostHistoryDays = 3660;

int ToHundredThousandths(double degrees) {
    return static_cast<int>(std::lround(degrees * 100000.0));
}

}  // namespace

std::optional<int> ObjectIdOf(const LoggerOptions& options, int index) {
    if (!options.all_with_id && options.vehicles > 1 && index == options.vehicles - 1)
        return std::nullopt;
    return (12 + index * 137) % 10000;
}

std::string RecordFrame(const Fix& fix, std::optional<int> object_id) {
    using namespace std::chrono;
    const auto midnight = floor<days>(fix.time);
    const year_month_day date{midnight};
    DumpRecord record;
    record.day = static_cast<int>(static_cast<unsigned>(date.day()));
    record.month = static_cast<int>(static_cast<unsigned>(date.month()));
    record.year = static_cast<int>(date.year());
    record.seconds_of_day = static_cast<int>((fix.time - midnight).count());
    record.latitude = ToHundredThousandths(fix.latitude);
    record.longitude = ToHundredThousandths(fix.longitude);
    record.speed_knots = static_cast<int>(std::lround(fix.speed_kmh / kKmhPerKnot));
    record.course = fix.course;
    record.fix_dimension = fix.three_d ? '1' : '0';
    record.fix_age = fix.fresh ? '2' : '1';
    record.object_id = object_id;
    if (fix.with_inputs) {
        record.type = "RPS";
        record.long_form = true;
        const std::string inputs{fix.ignition ? '1' : '0', fix.work_switch ? '1' : '0', '0', '0',
                                 '0'};
        record.extension =
            RecordExtension("10000", fix.supply, inputs, fix.fuel, fix.temperature, 0);
    } else {
        record.type = "GPS";
    }
    return Frame(record);
}

LoggerModel::LoggerModel(const LoggerOptions& options, Seconds start)
    : options_(options), now_(start) {
    for (int i = 0; i < options.vehicles; ++i)
        vehicles_.emplace_back(i, options.seed, start, !ObjectIdOf(options, i).has_value());
}

std::vector<LoggedRecord> LoggerModel::RunUntil(Seconds end) {
    std::vector<LoggedRecord> records;
    while (now_ + std::chrono::seconds{1} < end) {
        now_ += std::chrono::seconds{1};
        for (std::size_t i = 0; i < vehicles_.size(); ++i) {
            if (const auto fix = vehicles_[i].Tick())
                records.push_back(Write(static_cast<int>(i), *fix));
        }
    }
    return records;
}

LoggedRecord LoggerModel::RecordAt(Seconds time) {
    const std::size_t index = next_in_turn_;
    next_in_turn_ = (next_in_turn_ + 1) % vehicles_.size();
    return Write(static_cast<int>(index), vehicles_[index].FixAt(time));
}

LoggedRecord LoggerModel::Write(int index, const Fix& fix) const {
    LoggedRecord record;
    record.frame = RecordFrame(fix, ObjectIdOf(options_, index));
    if (fix.power_on)
        record.bytes = "RESET\r\n";
    record.bytes += record.frame;
    record.bytes += "\r\n";
    return record;
}

History MakeHistory(const HistoryOptions& options, Seconds start) {
    const int most_days = options.days.value_or(options.size ? kMostHistoryDays : 3);
    const std::size_t most_bytes =
        std::min(options.size.value_or(FlashMemory::kCapacity), FlashMemory::kCapacity);
    // The window doubles until it holds enough records or spans every day asked for: a
    // large fleet fills the flash long before ten years have been simulated.
    for (int days = 1;; days = std::min(2 * days, most_days)) {
        LoggerModel logger(options.logger, start - std::chrono::days{days});
        std::vector<LoggedRecord> records = logger.RunUntil(start);
        std::size_t bytes = 0;
        for (const LoggedRecord& record : records)
            bytes += record.bytes.size();
        if (bytes < most_bytes && days < most_days)
            continue;
        // The oldest records go first, as if the flash had been read and cleared just
        // before them.
        auto first = records.begin();
        while (bytes > most_bytes)
            bytes -= (first++)->bytes.size();
        records.erase(records.begin(), first);
        return History{std::move(logger), std::move(records), bytes};
    }
}

}  // namespace korvalen::sim
