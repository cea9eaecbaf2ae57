// The making of dump bytes: fields as the logger formats them, and a fleet generated from a
// fixed random sequence.
#include "support/dump_builder.h"

#include <vector>

#include "platform/clock.h"

namespace korvalen {
namespace {

// `value` right-aligned in `width` characters with leading zeros, the sign first, as the
// logger writes its numbers ("-0550000").
std::string Field(long long value, std::size_t width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    const std::size_t sign = value < 0 ? 1 : 0;
    if (digits.size() + sign < width)
        digits.insert(0, width - sign - digits.size(), '0');
    return (value < 0 ? "-" : "") + digits;
}

std::string Hex(unsigned value, std::size_t width) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(width, '0');
    for (std::size_t i = width; i-- > 0; value >>= 4)
        out[i] = kDigits[value & 15];
    return out;
}

// A small linear congruential generator: the same dump on every machine.
class Random {
  public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
    std::uint32_t Next(std::uint32_t bound) {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33) % bound;
    }

  private:
    std::uint64_t state_;
};

struct Vehicle {
    int id = 0;
    DumpRecord last;
    int standing = 0;  // records still to come at the same place, stale
};

void Advance(Vehicle& v, Random& random) {
    DumpRecord& r = v.last;
    r.seconds_of_day += 10 + static_cast<int>(random.Next(60));
    if (r.seconds_of_day >= 86400) {
        r.seconds_of_day -= 86400;
        if (++r.day > DaysInMonth(r.year, r.month)) {
            r.day = 1;
            if (++r.month > 12) {
                r.month = 1;
                ++r.year;
            }
        }
    }
    if (v.standing > 0) {
        --v.standing;
        r.fix_age = '1';
        r.speed_knots = 0;
        return;
    }
    if (random.Next(40) == 0)
        v.standing = 1 + static_cast<int>(random.Next(6));
    r.latitude += static_cast<int>(random.Next(401)) - 200;
    r.longitude += static_cast<int>(random.Next(401)) - 200;
    r.speed_knots = static_cast<int>(random.Next(70));
    r.course = static_cast<int>(random.Next(360));
    const std::uint32_t fix = random.Next(100);
    r.fix_dimension = fix < 5 ? '0' : fix < 7 ? '7' : '1';
    r.fix_age = fix == 99 ? '0' : '2';
}

}  // namespace

std::string RecordContent(const DumpRecord& r) {
    std::string out = r.type.substr(0, 3);
    out.resize(3, ' ');
    out += Field(r.day, 2) + Field(r.month, 2) + Field(r.year, 4) + Field(r.seconds_of_day, 5);
    out += Field(r.latitude, 8) + Field(r.longitude, 9);
    out += Field(r.speed_knots, 3) + Field(r.course, 3);
    if (r.long_form) {
        std::string extension = r.extension;
        extension.resize(18, '0');
        out += extension;
    }
    out += r.fix_dimension;
    out += r.fix_age;
    if (r.object_id)
        out += ";ID=" + Field(*r.object_id, 4);
    return out;
}

std::string Frame(std::string_view content) {
    std::string out;
    out.reserve(content.size() + 2);
    out += '>';
    out += content;
    out += '<';
    return out;
}

std::string Frame(const DumpRecord& record) {
    return Frame(RecordContent(record));
}

std::string RecordExtension(std::string_view status_flags, std::uint8_t a0, std::string_view inputs,
                            std::uint8_t a1, std::uint8_t a2, std::uint8_t a3) {
    std::string flags(status_flags.substr(0, 5));
    flags.resize(5, '0');
    std::string in(inputs.substr(0, 5));
    in.resize(5, '0');
    return flags + Hex(a0, 2) + in + Hex(a1, 2) + Hex(a2, 2) + Hex(a3, 2);
}

std::string ReplyHeader(std::size_t payload_size, bool new_data) {
    return std::string(new_data ? "(ND0" : "(AD0") + Hex(static_cast<unsigned>(payload_size), 6) +
           ")";
}

std::string GenerateDump(const GeneratedDumpOptions& options) {
    Random random(options.seed);
    std::vector<Vehicle> vehicles(
        static_cast<std::size_t>(options.objects > 0 ? options.objects : 1));
    for (std::size_t i = 0; i < vehicles.size(); ++i) {
        Vehicle& v = vehicles[i];
        v.id = static_cast<int>((12 + i * 137) % 10000);
        v.last.day = 1 + static_cast<int>(i % 28);
        v.last.month = 11;
        v.last.year = 2007;
        v.last.seconds_of_day = static_cast<int>(random.Next(86400));
        v.last.latitude = 5575205 + static_cast<int>(random.Next(100000));
        v.last.longitude = 3762430 + static_cast<int>(random.Next(100000));
    }
    std::string payload;
    payload.reserve(options.size + 128);
    payload += "RESET\r\n";
    std::size_t records = 0;
    const auto more = [&] {
        return options.records > 0 ? records < options.records : payload.size() < options.size;
    };
    while (more()) {  // by size: a little more than needed, cut below
        Vehicle& v = vehicles[random.Next(static_cast<std::uint32_t>(vehicles.size()))];
        Advance(v, random);
        DumpRecord record = v.last;
        const std::uint32_t kind = random.Next(1000);
        if (kind < 3) {
            payload += "RESET\r\n";
        } else if (kind < 6) {
            payload += ">GPS0711200";  // a frame cut short by the next one
        } else if (kind < 9) {
            record.type = "PPS";
        }
        if (record.type != "PPS") {
            if (kind % 10 < 7) {
                record.type = "RPS";
                record.long_form = true;
                const char ignition = random.Next(8) == 0 ? '0' : '1';
                const std::string inputs{ignition, random.Next(2) ? '1' : '0', '0', '0', '0'};
                record.extension =
                    RecordExtension("10000", static_cast<std::uint8_t>(random.Next(256)), inputs,
                                    static_cast<std::uint8_t>(random.Next(256)),
                                    static_cast<std::uint8_t>(random.Next(256)),
                                    static_cast<std::uint8_t>(random.Next(256)));
            } else {
                record.type = "GPS";
                record.long_form = kind % 10 == 9;
            }
        }
        if (!(options.records_without_id && random.Next(10) == 0))
            record.object_id = v.id;
        payload += Frame(record);
        payload += "\r\n";
        ++records;
        if (options.on_record)
            options.on_record(record);
    }
    if (options.records > 0)
        return ReplyHeader(payload.size()) + payload;
    // Exactly `size` bytes: the last frame may be cut, as a transfer can be.
    const std::size_t header_size = ReplyHeader(0).size();
    payload.resize(options.size > header_size ? options.size - header_size : 0);
    return ReplyHeader(payload.size()) + payload;
}

}  // namespace korvalen
