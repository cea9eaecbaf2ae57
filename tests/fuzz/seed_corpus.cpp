// korvalen-fuzz-seeds: writes the seed corpus of every fuzz target into FOLDER/<target>/,
// from the dump builder, the settings writer and the decoding pass itself, so that anyone
// can make the committed seeds again. Inputs found by fuzzing live beside them, named
// regression-*, and are not made here.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode_test_support.h"
#include "fuzz_steps.h"
#include "settings/settings_file.h"
#include "support/dump_builder.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

namespace fs = std::filesystem;
using fuzzing::EncodeStep;

void Put(const fs::path& folder, const std::string& name, const std::string& bytes) {
    fs::create_directories(folder);
    testing::WriteTestFile((folder / name).string(), bytes);
}

// The decoding pass target reads its choice of settings from the last two bytes.
std::string WithChoice(const std::string& dump, std::uint16_t choice) {
    return dump + static_cast<char>(choice & 0xFF) + static_cast<char>(choice >> 8);
}

std::string Line(const DumpRecord& record) {
    return Frame(record) + "\r\n";
}

// Records of every kind and the edges of the record check, by hand.
std::string HandMadeDump() {
    DumpRecord fresh;
    fresh.object_id = 12;
    DumpRecord inputs = fresh;
    inputs.type = "RPS";
    inputs.long_form = true;
    inputs.extension = RecordExtension("10000", 0x80, "10010", 0, 0x80, 0xFF);
    inputs.seconds_of_day += 10;
    DumpRecord stale = fresh;
    stale.fix_age = '1';
    stale.seconds_of_day += 20;
    DumpRecord flat = fresh;
    flat.fix_dimension = '0';
    flat.latitude = -5575205;
    flat.seconds_of_day = 90000;  // past midnight
    DumpRecord pps = fresh;
    pps.type = "PPS";
    DumpRecord no_id = fresh;
    no_id.object_id.reset();
    DumpRecord february = fresh;
    february.object_id = 7;
    february.day = 31;
    february.month = 2;
    DumpRecord last_year = fresh;
    last_year.object_id = 9999;
    last_year.year = 3000;
    last_year.month = 12;
    last_year.day = 31;
    return ReplyHeader(0) + "RESET\r\n" + Line(fresh) + Line(inputs) + "RESERESET" + Line(stale) +
           Line(stale) + Line(flat) + Line(pps) + Line(no_id) + ">>" + RecordContent(fresh) + "<" +
           Line(february) + Line(last_year) + ">" + std::string(120, '0') + "<" + Line(fresh);
}

void DecodingPassSeeds(const fs::path& folder, const std::string& sample) {
    Put(folder, "sample", WithChoice(sample, 0));
    Put(folder, "hand-made", WithChoice(HandMadeDump(), 0));
    // Yes to the question, ID 0042, both CSV files, the ignition input, bytes one by one.
    Put(folder, "hand-made-all-outputs", WithChoice(HandMadeDump(), 0x241C));
    GeneratedDumpOptions options;
    options.size = 3000;
    options.objects = 3;
    options.seed = 11;
    options.records_without_id = true;
    Put(folder, "generated-without-id", WithChoice(GenerateDump(options), 0x0403));
    options.size = 1500;
    options.objects = 1;
    options.seed = 5;
    options.records_without_id = false;
    Put(folder, "generated-global-id", WithChoice(GenerateDump(options), 0xA08E));
}

void SettingsFileSeeds(const fs::path& folder) {
    Settings s;
    ApplyDefaults(s, "D:\\Tools");
    Put(folder, "defaults", FormatSettingsFile(s));
    s.UseGlobalID = true;
    s.GlobalID = 42;
    s.COM = 6;
    s.InFile = "D:\\Данные\\COM\\Korvalen.trc";
    s.InboxDir = "\\\\server\\InBox\\";
    s.Use2D = s.MinTray = s.IndInChk = true;
    s.MultiStart = false;
    s.IndInNum = 2;
    s.IndInStatus = 1;
    Put(folder, "every-field-changed", FormatSettingsFile(s));
    Put(folder, "odd-values",
        "GlobalID0\r\nCOMabc\r\nMinTray2\r\nIndInNum -7\r\nUseGlobalID+1\r\n"
        "GlobalID99999999999\r\nInboxDir\r\nunknown\r\nUse2D1");
    Put(folder, "line-feeds-only", "UseGlobalID1\nGlobalID12\nCOM3\n");
    Put(folder, "nul-and-high-bytes", std::string("InFile\0\xC0\xFF\x98\r\nCOM\t 5\r\r\n", 20));
}

std::string Steps(const std::vector<std::pair<std::uint8_t, std::string>>& steps) {
    std::string out;
    for (const auto& [control, bytes] : steps)
        out += EncodeStep(control, bytes);
    return out;
}

void ReplyCaptureSeeds(const fs::path& folder) {
    const std::string payload = Frame(DumpRecord{}) + "\r\n" + std::string(17, 'x');  // 60 bytes
    constexpr std::uint8_t kPoll = 2;                                                 // 100 ms
    Put(folder, "new-data-whole",
        Steps({{kPoll, ""},
               {kPoll, ReplyHeader(60) + payload.substr(0, 25)},
               {kPoll, payload.substr(25)},
               {kPoll, ""}}));
    Put(folder, "all-data-header-split",
        Steps({{kPoll, "(A"}, {kPoll, "D0000"}, {kPoll, "03C)" + payload}, {kPoll, ""}}));
    Put(folder, "noise-then-header",
        Steps({{kPoll, "xyz"}, {kPoll, "(ND(QND)" + ReplyHeader(60) + payload}, {0x0F, ""}}));
    Put(folder, "silence-before-the-end",
        Steps({{kPoll, ReplyHeader(60) + payload.substr(0, 30)}, {0x0F, ""}, {kPoll, "late"}}));
    Put(folder, "failures",
        Steps({{kPoll, ReplyHeader(60)},
               {0x10 | kPoll, payload.substr(0, 10)},
               {0x20 | kPoll, payload.substr(10)},
               {0x40 | kPoll, ReplyHeader(0)},
               {0x0F, ""}}));
    Put(folder, "zero-byte-in-header",
        Steps({{kPoll, std::string("(ND\0", 4) + "0000010)" + ReplyHeader(16) + "0123456789ABCDEF"},
               {kPoll, ""}}));
    Put(folder, "empty-new-data", Steps({{kPoll, ReplyHeader(0)}, {kPoll, ""}, {0x0F, ""}}));
}

void DeviceTestSeeds(const fs::path& folder) {
    constexpr std::uint8_t kPoll = 1;
    Put(folder, "report",
        Steps({{kPoll, "Memory test...\r\nFlash: OK\r\nGPS: "},
               {kPoll, "OK\r\nTest is fin"},
               {kPoll, "ished\r\n"},
               {kPoll, ""}}));
    Put(folder, "line-feeds-and-zero-bytes",
        Steps({{kPoll, "a\nb\rc"},
               {kPoll, std::string("d\0ignored\r", 10)},
               {kPoll, "\r\n\xC0\xE9"}}));
    Put(folder, "silence", Steps({{kPoll, "Memory test...\r\n"}, {60, ""}, {kPoll, "late\r\n"}}));
}

// Message files as the pass writes them, and one cut short in its last record.
void MessageFileSeeds(const fs::path& folder, const std::string& sample) {
    testing::TempFolder work;
    const std::string inbox = work / "InBox";
    fs::create_directory(inbox);
    const std::string dump = work / "dump.trc";
    testing::WriteTestFile(dump, sample);
    Settings settings;
    settings.InboxDir = inbox + "/";
    testing::RecordingOperator host;
    const testing::StoppedClock clock{{2007, 11, 7, 12, 34, 56, 0}, {2007, 11, 7, 9, 34, 56, 0}};
    DecodingPass pass(settings, dump, host, clock);
    pass.set_csv_wait([](std::chrono::milliseconds) {});
    pass.Run();
    std::string last;
    for (const std::string& name : testing::FileNames(inbox)) {
        last = testing::ReadTestFile(inbox + "/" + name);
        Put(folder, "pass-" + name, last);
    }
    Put(folder, "cut-short", last.substr(0, last.size() - 5));
}

}  // namespace
}  // namespace korvalen

int main(int argc, char** argv) {
    using namespace korvalen;
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvalen-fuzz-seeds CORPUS-FOLDER SAMPLE-DUMP\n");
        return 2;
    }
    setenv("TZ", "MSK-3MSD,M3.5.0,M10.5.0/3", 1);
    const fs::path corpus = argv[1];
    const std::string sample = testing::ReadTestFile(argv[2]);
    DecodingPassSeeds(corpus / "decoding_pass", sample);
    SettingsFileSeeds(corpus / "settings_file");
    ReplyCaptureSeeds(corpus / "reply_capture");
    DeviceTestSeeds(corpus / "device_test_lines");
    MessageFileSeeds(corpus / "message_file_reader", sample);
    return 0;
}
