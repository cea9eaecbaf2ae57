// korvalen-peer-inputs: the same fixes as a logger dump and as NMEA sentences ($GPRMC and
// $GPGGA per fix), for timing korvalen-decode against a general GPS converter.
//   korvalen-peer-inputs RECORDS OBJECTS DUMP NMEA
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "platform/string_printf.h"
#include "support/dump_builder.h"

namespace {

std::string Checksummed(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    return "$" + body + korvalen::StringPrintf("*%02X\r\n", sum);
}

// Degrees x 100000 as NMEA's degrees and minutes, with the hemisphere.
std::string Angle(int value, int degree_digits, char positive, char negative) {
    const int magnitude = value < 0 ? -value : value;
    const int degrees = magnitude / 100000;
    const double minutes = (magnitude % 100000) * 60.0 / 100000.0;
    return korvalen::StringPrintf("%0*d%07.4f,%c", degree_digits, degrees, minutes,
                                  value < 0 ? negative : positive);
}

std::string Sentences(const korvalen::DumpRecord& r) {
    const std::string time =
        korvalen::StringPrintf("%02d%02d%02d.00", r.seconds_of_day / 3600,
                               r.seconds_of_day / 60 % 60, r.seconds_of_day % 60);
    const std::string date = korvalen::StringPrintf("%02d%02d%02d", r.day, r.month, r.year % 100);
    const std::string lat = Angle(r.latitude, 2, 'N', 'S');
    const std::string lon = Angle(r.longitude, 3, 'E', 'W');
    const char status = r.fix_age == '2' ? 'A' : 'V';
    const std::string rmc = "GPRMC," + time + "," + status + "," + lat + "," + lon + "," +
                            std::to_string(r.speed_knots) + ".0," + std::to_string(r.course) +
                            ".0," + date + ",,,A";
    const std::string gga = "GPGGA," + time + "," + lat + "," + lon + "," +
                            (r.fix_dimension == '1' ? "1,08,1.0" : "1,03,5.0") +
                            ",150.0,M,14.0,M,,";
    return Checksummed(rmc) + Checksummed(gga);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: korvalen-peer-inputs RECORDS OBJECTS DUMP NMEA\n";
        return 2;
    }
    std::ofstream nmea(argv[4], std::ios::binary);
    long fixes = 0;
    korvalen::GeneratedDumpOptions options;
    options.records = std::strtoul(argv[1], nullptr, 10);
    options.objects = std::atoi(argv[2]);
    options.on_record = [&](const korvalen::DumpRecord& record) {
        if (record.type == "PPS")
            return;  // no position of its own
        nmea << Sentences(record);
        ++fixes;
    };
    const std::string dump = korvalen::GenerateDump(options);
    std::ofstream(argv[3], std::ios::binary) << dump;
    std::cout << options.records << " records, " << fixes << " fixes, " << dump.size()
              << " dump bytes\n";
    return nmea && fixes > 0 ? 0 : 1;
}
