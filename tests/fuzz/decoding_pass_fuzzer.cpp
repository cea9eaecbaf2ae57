// Fuzz target: the whole decoding pass over one dump into a fresh InBox: frames, markers,
// the record check and decoding, the routes, the message and CSV writers, the summary.
// The input is the dump; its last two bytes also choose the settings, the answers to the
// question about records without ID and the read block size. The pass runs twice, in the
// chosen blocks and in one block, and both runs must leave the same files and summary.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode/dump_record.h"
#include "decode/frame_capture.h"
#include "decode/reset_marker.h"
#include "decode_test_support.h"
#include "fuzz_check.h"
#include "output/message_file_reader.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

// The files of the two runs, made once per process and emptied after every input.
struct Workspace {
    testing::TempFolder folder;
    std::string inbox = folder / "InBox";
    std::string whole_inbox = folder / "InBoxWhole";
    std::string dump = folder / "dump.trc";

    Workspace() {
        std::filesystem::create_directory(inbox);
        std::filesystem::create_directory(whole_inbox);
    }
    void Empty() const {
        for (const std::string& folder_path : {inbox, whole_inbox}) {
            for (const auto& entry : std::filesystem::directory_iterator(folder_path))
                std::filesystem::remove(entry.path());
        }
    }
};

// Records without ID may be given an ID of the wrong length: such records are dropped.
constexpr std::array<const char*, 4> kPromptAnswers = {"0042", "0000", "12", "00420"};
// Block seams anywhere: inside a frame, inside a marker, on a thousand; 8192 reads an
// input whole, like the default block, at a fraction of its cost under the sanitizers.
constexpr std::array<std::size_t, 8> kBlockSizes = {8192, 1, 2, 7, 41, 1000, 1001, 4096};

Settings SettingsFor(std::uint16_t choice) {
    Settings s;
    s.Use2D = choice & 1;
    s.UseGlobalID = choice & 2;
    s.WriteCsvC = choice & 4;
    s.WriteCsvN = choice & 8;
    s.IndInChk = choice & 16;
    s.ResetAlarm = !(choice & 32);
    s.WriteMessageFiles = !(choice & 64);
    s.IndInNum = (choice >> 7) & 3;  // 3: out of range, as a hand-edited settings file may give
    s.IndInStatus = (choice >> 9) & 1;
    return s;
}

// The pass scans in runs; it must find the frames and markers that feeding the machines
// byte by byte finds, at the same places. Returns the frames.
std::vector<std::string> CheckScansMatchByteWise(std::string_view dump) {
    std::vector<std::string> frames_by_byte;
    std::vector<std::size_t> markers_by_byte;
    FrameCapture frames;
    ResetMarkerDetector markers;
    for (std::size_t i = 0; i < dump.size(); ++i) {
        if (markers.Feed(dump[i]))
            markers_by_byte.push_back(i);
        if (frames.Feed(dump[i]))
            frames_by_byte.emplace_back(frames.frame());
    }
    std::vector<std::string> frames_in_runs;
    std::vector<std::size_t> markers_in_runs;
    const char* const begin = dump.data();
    const char* const end = begin + dump.size();
    FrameCapture run_frames;
    ResetMarkerDetector run_markers;
    for (const char* p = begin; p < end;) {
        bool found = false;
        p = run_markers.Feed(p, end, found);
        if (found)
            markers_in_runs.push_back(static_cast<std::size_t>(p - begin) - 1);
    }
    for (const char* p = begin; p < end;) {
        bool ready = false;
        p = run_frames.Feed(p, end, ready);
        if (ready)
            frames_in_runs.emplace_back(run_frames.frame());
    }
    FUZZ_CHECK(markers_in_runs == markers_by_byte);
    FUZZ_CHECK(frames_in_runs == frames_by_byte);
    return frames_by_byte;
}

// The pass checks and decodes a record with ID in one reading of its fields; that must
// be what checking it and then decoding it gives.
void CheckOneReadingDecodes(const std::string& frame) {
    MRVMessage once;
    const bool passed = CheckAndDecodeRecord(frame, once);
    FUZZ_CHECK(passed == (HasIdSuffix(frame.size()) && CheckRecord(frame)));
    if (!passed)
        return;
    MRVMessage twice;
    DecodeRecord(frame, 0, 0, twice);
    FUZZ_CHECK(EncodeMessageHead(once) == EncodeMessageHead(twice));
    FUZZ_CHECK(ToOleDate(once.FixTimeParts) == ToOleDate(twice.FixTimeParts));
    FUZZ_CHECK(once.Year == twice.Year && once.Month == twice.Month && once.Day == twice.Day &&
               once.SecondsOfDay == twice.SecondsOfDay);
    FUZZ_CHECK(once.Inputs == twice.Inputs && once.StatusFlags == twice.StatusFlags);
    FUZZ_CHECK(once.Validity == twice.Validity && once.FixMode == twice.FixMode &&
               once.IsPps == twice.IsPps && once.HasInputs == twice.HasInputs);
}

struct PassResult {
    std::vector<std::string> log;
    std::vector<std::string> files;  // names and bytes
};

PassResult RunPass(Settings settings, const std::string& inbox, std::uint16_t choice,
                   std::size_t block_size, const std::string& dump) {
    settings.InboxDir = inbox + "/";
    testing::RecordingOperator host;
    host.answer_yes = (choice >> 10) & 1;
    host.prompt_text = kPromptAnswers[(choice >> 11) & 3];
    const testing::StoppedClock clock{{2007, 11, 7, 12, 34, 56, 0}, {2007, 11, 7, 9, 34, 56, 0}};
    {
        DecodingPass pass(settings, dump, host, clock);
        pass.set_csv_wait([](std::chrono::milliseconds) {});
        pass.set_read_block_size(block_size);
        FUZZ_CHECK(pass.Run());
        host.AddSummary(pass);
        FUZZ_CHECK(pass.completed());
        // A fresh folder takes every file: nothing may fail, nothing may be shown.
        FUZZ_CHECK(pass.error_count() == 0);
        FUZZ_CHECK(host.messages.empty());
    }
    FUZZ_CHECK(host.questions.size() <= 1);
    PassResult result{host.log, {}};
    for (const std::string& name : testing::FileNames(inbox)) {
        result.files.push_back(name);
        result.files.push_back(testing::ReadTestFile(inbox + "/" + name));
    }
    return result;
}

// The dispatcher must never meet a damaged message file, whatever the dump held.
void CheckMessageFiles(const std::string& inbox) {
    for (const auto& entry : std::filesystem::directory_iterator(inbox)) {
        if (entry.path().extension() == ".csv")
            continue;
        const MessageFileContents contents =
            ReadMessageRecords(testing::ReadTestFile(entry.path().string()));
        if (!contents.error.empty())
            std::fprintf(stderr, "%s: %s\n", entry.path().c_str(), contents.error.c_str());
        FUZZ_CHECK(contents.error.empty());
    }
}

}  // namespace
}  // namespace korvalen

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A zone with summer time, so that local midnights move; no zone files needed.
    setenv("TZ", "MSK-3MSD,M3.5.0,M10.5.0/3", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvalen;
    static const Workspace workspace;
    FuzzedDataProvider input(data, size);
    const auto choice = input.ConsumeIntegral<std::uint16_t>();  // from the end of the input
    const std::string dump = input.ConsumeRemainingBytesAsString();
    for (const std::string& frame : CheckScansMatchByteWise(dump))
        CheckOneReadingDecodes(frame);
    testing::WriteTestFile(workspace.dump, dump);

    const Settings settings = SettingsFor(choice);
    const std::size_t block_size = kBlockSizes[(choice >> 13) & 7];
    const PassResult result =
        RunPass(settings, workspace.inbox, choice, block_size, workspace.dump);
    CheckMessageFiles(workspace.inbox);
    if (block_size < dump.size()) {
        const PassResult whole =
            RunPass(settings, workspace.whole_inbox, choice, dump.size(), workspace.dump);
        FUZZ_CHECK(whole.log == result.log);
        FUZZ_CHECK(whole.files == result.files);
    }
    workspace.Empty();
    return 0;
}
