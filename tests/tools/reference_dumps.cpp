// korvalen-reference-dumps DIR: writes the small dumps whose decoded outputs are kept as
// reference files (tests/data/reference/), each built record by record so that every
// byte of the output can be traced to a line here. The dumps are committed; this
// program only says how they were made, and makes them again when a case changes.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "support/dump_builder.h"

namespace korvalen {
namespace {

constexpr const char* kLineEnd = "\r\n";

// A dump as the reader sends it: its reply header, then the body.
std::string WithHeader(const std::string& body) {
    return ReplyHeader(body.size()) + body;
}

DumpRecord At(int object_id, int seconds_of_day, int latitude, int longitude) {
    DumpRecord r;
    r.day = 28;
    r.month = 11;
    r.year = 2026;
    r.seconds_of_day = seconds_of_day;
    r.latitude = latitude;
    r.longitude = longitude;
    r.object_id = object_id;
    return r;
}

// A long record with inputs; the flags and inputs as their five characters.
DumpRecord WithInputs(DumpRecord r, const char* inputs, std::uint8_t a1) {
    r.type = "RPS";
    r.long_form = true;
    r.extension = RecordExtension("10000", 0x40, inputs, a1, 0xFF, 0x80);
    return r;
}

// Power-on markers and inputs, decoded with the ignition on IN1 closed (--ignition IN1:1).
// Object 21 reports with inputs, object 22 without.
std::string PowerOnsDump() {
    std::string d;
    const auto add = [&](const std::string& bytes) { d += bytes + kLineEnd; };
    add("RESET");
    // The first fresh fix after the power-on carries its mark; ignition on.
    DumpRecord first = WithInputs(At(21, 8 * 3600, 5575205, 3762430), "10000", 0x00);
    add(Frame(first));
    // Driving: 20 knots north-east, ignition on.
    DumpRecord driving = WithInputs(At(21, 8 * 3600 + 30, 5575305, 3762630), "10010", 0x10);
    driving.speed_knots = 20;
    driving.course = 45;
    add(Frame(driving));
    // Ignition off: the vehicle stands where it was, whatever the fix says.
    DumpRecord off = WithInputs(At(21, 8 * 3600 + 60, 5575405, 3762830), "00010", 0x20);
    off.speed_knots = 3;
    off.course = 90;
    add(Frame(off));
    // Two power-ons, then only stale fixes of object 21 at one place: no mark yet, and
    // the second stale fix keeps the time at which the standing began.
    add("RESE" + std::string("RESET"));  // a marker that starts over counts once
    add("RESET");
    DumpRecord stale = WithInputs(At(21, 8 * 3600 + 1800, 5575405, 3762830), "10000", 0x30);
    stale.fix_age = '1';
    add(Frame(stale));
    stale.seconds_of_day += 60;
    add(Frame(stale));
    // The first fresh usable fix after them, of the other object, carries the one mark.
    DumpRecord other = At(22, 8 * 3600 + 1900, 5590000, 3780000);
    other.speed_knots = 10;
    other.course = 180;
    add(Frame(other));
    // Object 21 again, fresh, ignition on: no mark of its own.
    DumpRecord again = WithInputs(At(21, 8 * 3600 + 1920, 5575505, 3762930), "10000", 0x40);
    again.speed_knots = 5;
    again.course = 270;
    add(Frame(again));
    // A 2D fix: no position without --use-2d, still a record of the route.
    DumpRecord flat = At(21, 8 * 3600 + 1950, 5575605, 3763030);
    flat.fix_dimension = '0';
    add(Frame(flat));
    other.seconds_of_day += 120;
    other.latitude -= 500;
    add(Frame(other));
    // The last record of object 21: IN1 undetermined counts as ignition off.
    DumpRecord last = WithInputs(At(21, 8 * 3600 + 1980, 5575705, 3763130), "20000", 0xFF);
    last.speed_knots = 7;
    last.course = 10;
    add(Frame(last));
    return WithHeader(d);
}

// Records of object 42 with their ID and of a logger without one, decoded with
// --assign-id 0042, and one record of object 7 between them.
std::string WithoutIdDump() {
    std::string d;
    const auto add = [&](const DumpRecord& r) { d += Frame(r) + kLineEnd; };
    DumpRecord with_id = At(42, 12 * 3600, -3345678, -7012345);  // south and west
    with_id.speed_knots = 12;
    with_id.course = 300;
    add(with_id);
    DumpRecord without = At(42, 12 * 3600 + 10, -3345600, -7012300);
    without.object_id.reset();
    without.course = 301;
    add(without);
    DumpRecord seven = At(7, 12 * 3600 + 15, 5575205, 3762430);
    add(seven);
    // A long record without ID, with inputs: it becomes 67 characters with the ID.
    DumpRecord long_without = WithInputs(At(42, 12 * 3600 + 20, -3345500, -7012200), "01000", 0x05);
    long_without.object_id.reset();
    long_without.course = 302;
    add(long_without);
    // A "PPS" record without ID: checked, given the ID, and dropped for its date.
    DumpRecord pps = without;
    pps.type = "PPS";
    add(pps);
    with_id.seconds_of_day += 30;
    with_id.latitude += 300;
    add(with_id);
    return WithHeader(d);
}

// What a poor line leaves in a dump: frames cut short, too long or broken, noise, and a
// transfer that stopped in the middle of a record. Of object 33's frames only the
// whole, well-formed ones count; the rest is dropped without a word.
std::string DamagedDump() {
    std::string d;
    const auto record = [](int n) {
        DumpRecord r = At(33, 6 * 3600 + n * 60, 5500000 + n * 100, 3700000 + n * 100);
        r.speed_knots = n;
        r.course = n * 10;
        return r;
    };
    d += Frame(record(1)) + kLineEnd;
    // A frame opened twice: the second ">" starts it over.
    d += ">" + Frame(record(2)) + kLineEnd;
    // A frame cut short by the next one.
    d += ">" + RecordContent(record(3)).substr(0, 20) + Frame(record(4)) + kLineEnd;
    // Too long: given up after 100 characters, and the record whose ">" was lost in it
    // goes with it.
    d += ">" + std::string(70, 'x') + RecordContent(record(5)) + "<" + kLineEnd;
    // Broken fields: day 00, a letter in the latitude, a wrong ID tag, a length of no
    // record, a "PPS" record.
    DumpRecord bad = record(6);
    bad.day = 0;
    d += Frame(bad) + kLineEnd;
    std::string letter = RecordContent(record(7));
    letter[18] = 'A';  // in the latitude
    d += Frame(letter) + kLineEnd;
    std::string tag = RecordContent(record(8));
    tag.replace(tag.size() - 8, 4, ";Id=");
    d += Frame(tag) + kLineEnd;
    d += Frame(RecordContent(record(9)).substr(0, 45)) + kLineEnd;
    DumpRecord pps = record(10);
    pps.type = "PPS";
    d += Frame(pps) + kLineEnd;
    // Noise and a stray "<" between frames.
    d += std::string("\x00\xff<\x7f", 4) + kLineEnd;
    d += Frame(record(11)) + kLineEnd;
    // The transfer breaks off in the middle of a record.
    d += ">" + RecordContent(record(12)).substr(0, 30);
    return WithHeader(d);
}

bool Write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: korvalen-reference-dumps DIR\n";
        return 2;
    }
    const std::string dir = argv[1];
    const bool written = korvalen::Write(dir + "/power_ons.trc", korvalen::PowerOnsDump()) &&
                         korvalen::Write(dir + "/without_id.trc", korvalen::WithoutIdDump()) &&
                         korvalen::Write(dir + "/damaged.trc", korvalen::DamagedDump());
    if (!written) {
        std::cerr << "korvalen-reference-dumps: cannot write into " << dir << '\n';
        return 1;
    }
    return 0;
}
