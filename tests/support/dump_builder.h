// Dumps made to order, byte for byte as the logger and reader make them, for the tests, the
// benchmarks and the simulator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// Builds dump bytes as the logger and its reader produce them: for tests, the benchmark
// and a simulated reader. Everything here is deterministic.

// The fields of one position record, in the units the logger writes.
struct DumpRecord {
    std::string type = "GPS";  // "RPS" with inputs (long form), "PPS", or any other three
    int day = 7;
    int month = 11;
    int year = 2007;
    int seconds_of_day = 45296;  // 12:34:56
    int latitude = 5575205;      // degrees x 100000, signed
    int longitude = 3762430;     // degrees x 100000, signed
    int speed_knots = 0;
    int course = 0;
    char fix_dimension = '1';                      // '0' 2D, '1' 3D
    char fix_age = '2';                            // '1' stale, '2' fresh
    bool long_form = false;                        // 59 characters (67 with ID) instead of 41 (49)
    std::string extension = std::string(18, '0');  // long form only, exactly 18 characters
    std::optional<int> object_id;                  // none: no ";ID=" suffix
};

// The frame content (without the delimiters).
std::string RecordContent(const DumpRecord& record);
// ">" content "<".
std::string Frame(std::string_view content);
std::string Frame(const DumpRecord& record);

// The 18 characters of a long record's extension: status flags F1-F5 and inputs IN1-IN5
// as the characters given, analog values as two upper-case hexadecimal digits.
std::string RecordExtension(std::string_view status_flags, std::uint8_t a0, std::string_view inputs,
                            std::uint8_t a1, std::uint8_t a2, std::uint8_t a3);

// The reader's reply header "(ND0xxxxxx)" ("(AD0xxxxxx)" for all data) for a payload.
std::string ReplyHeader(std::size_t payload_size, bool new_data = true);

// A plausible dump of several vehicles: the reply header, then records of every kind
// (with and without inputs, short ones, stale runs, "PPS", a few without ID when asked),
// power-on markers, line breaks and some noise: exactly `size` bytes.
struct GeneratedDumpOptions {
    std::size_t size = 1 << 20;
    int objects = 4;
    std::uint32_t seed = 1;
    bool records_without_id = false;
    // With a count: exactly that many whole records (and whatever else falls between
    // them), however many bytes they take; `size` is ignored then.
    std::size_t records = 0;
    // Told of every whole record as it goes into the dump (a benchmark writes the same
    // fixes in another format).
    std::function<void(const DumpRecord&)> on_record;
};
std::string GenerateDump(const GeneratedDumpOptions& options);

}  // namespace korvalen
