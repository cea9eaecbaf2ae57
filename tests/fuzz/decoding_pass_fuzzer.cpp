// Fuzz target: the whole decoding pass over one dump into a fresh InBox: frames, markers,
// the record check and decoding, the routes, the message and CSV writers, the summary.
// The input is the dump; its last two bytes also choose the settings, the answers to the
// question about records without ID and the read block size.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "decode/decoding_pass.h"
#include "decode_test_support.h"
#include "fuzz_check.h"
#include "output/message_file_reader.h"
#include "temp_folder.h"

namespace korvalen {
namespace {

// The files of one run, made once per process and emptied after every input.
struct Workspace {
    testing::TempFolder folder;
    std::string inbox = folder / "InBox";
    std::string dump = folder / "dump.trc";

    Workspace() { std::filesystem::create_directory(inbox); }
    void EmptyInbox() const {
        for (const auto& entry : std::filesystem::directory_iterator(inbox))
            std::filesystem::remove(entry.path());
    }
};

// Records without ID may be given an ID of the wrong length: such records are dropped.
constexpr std::array<const char*, 4> kPromptAnswers = {"0042", "0000", "12", "00420"};
// Block seams anywhere: inside a frame, inside a marker, on a thousand; 8192 reads an
// input whole, like the default block, at a fraction of its cost under the sanitizers.
constexpr std::array<std::size_t, 8> kBlockSizes = {8192, 1, 2, 7, 41, 1000, 1001, 4096};

Settings SettingsFor(std::uint16_t choice, const std::string& inbox) {
    Settings s;
    s.InboxDir = inbox + "/";
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
    testing::WriteTestFile(workspace.dump, input.ConsumeRemainingBytesAsString());

    const Settings settings = SettingsFor(choice, workspace.inbox);
    testing::RecordingHost host;
    host.answer_yes = (choice >> 10) & 1;
    host.prompt_text = kPromptAnswers[(choice >> 11) & 3];
    const testing::StoppedClock clock{{2007, 11, 7, 12, 34, 56, 0}, {2007, 11, 7, 9, 34, 56, 0}};
    WorkState work;
    {
        DecodingPass pass(settings, workspace.dump, work, host, clock);
        pass.set_csv_wait([](std::chrono::milliseconds) {});
        pass.set_read_block_size(kBlockSizes[(choice >> 13) & 7]);
        FUZZ_CHECK(pass.Run());
        FUZZ_CHECK(pass.completed());
        // A fresh folder takes every file: nothing may fail, nothing may be shown.
        FUZZ_CHECK(pass.error_count() == 0);
        FUZZ_CHECK(host.messages.empty());
    }
    FUZZ_CHECK(work.decoding_pass_count.load() == 0);
    FUZZ_CHECK(work.progress.mask() == 0);
    FUZZ_CHECK(host.questions.size() <= 1);
    CheckMessageFiles(workspace.inbox);
    workspace.EmptyInbox();
    return 0;
}
