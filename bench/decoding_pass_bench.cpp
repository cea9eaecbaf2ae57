// Throughput of the decoding pass over a generated 16 MiB dump (the largest transfer a
// reader can announce), with its message files written to disk, beside a plain read of
// the same file and the frame and marker machines alone.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "decode/decoding_pass.h"
#include "decode/frame_capture.h"
#include "decode/operator.h"
#include "decode/reset_marker.h"
#include "platform/file.h"
#include "settings/settings.h"
#include "support/dump_builder.h"

namespace korvalen {
namespace {

constexpr std::size_t kDumpSize = 16 * 1024 * 1024;

class SilentOperator final : public Operator {
  public:
    void ShowMessage(std::string_view, std::string_view, MessageIcon) override { ++messages; }
    bool AskYesNo(std::string_view) override { return false; }
    std::string PromptObjectId() override { return "0000"; }
    int messages = 0;
};

// The dump and an output folder under the system's temporary folder, made once.
struct Workspace {
    Workspace() {
        root = std::filesystem::temp_directory_path() / "korvalen-bench";
        std::filesystem::create_directories(root / "InBox");
        dump_path = (root / "dump.trc").string();
        GeneratedDumpOptions options;
        options.size = kDumpSize;
        options.objects = 8;
        dump = GenerateDump(options);
        File file;
        file.Open(dump_path, OpenMode::CreateOrTruncate, Sharing::Shared);
        file.Write(dump);
        file.Close();
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    void EmptyInbox() const {
        for (const auto& entry : std::filesystem::directory_iterator(root / "InBox"))
            std::filesystem::remove(entry.path());
    }
    std::filesystem::path root;
    std::string dump_path;
    std::string dump;
};

const Workspace& TheWorkspace() {
    static const Workspace workspace;
    return workspace;
}

void BM_DecodingPass(benchmark::State& state) {
    const Workspace& w = TheWorkspace();
    Settings settings;
    ApplyDefaults(settings, w.root.string());
    settings.InboxDir = (w.root / "InBox").string() + "/";
    settings.WriteCsvC = state.range(0) != 0;
    settings.WriteCsvN = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.EmptyInbox();
        SilentOperator host;
        state.ResumeTiming();
        DecodingPass pass(settings, w.dump_path, host);
        pass.Run();
        if (host.messages != 0)
            state.SkipWithError("the pass reported a failure");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.dump.size()));
}
BENCHMARK(BM_DecodingPass)->Arg(0)->ArgName("csv")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodingPass)->Arg(1)->ArgName("csv")->Unit(benchmark::kMillisecond)->UseRealTime();

// Reading the dump in the pass's block size and touching every byte: the floor.
void BM_PlainRead(benchmark::State& state) {
    const Workspace& w = TheWorkspace();
    std::vector<char> block(DecodingPass::kDefaultReadBlockSize);
    for (auto _ : state) {
        File file;
        file.Open(w.dump_path, OpenMode::OpenExisting, Sharing::Shared, true);
        unsigned sum = 0;
        while (const std::size_t n = file.Read(block.data(), block.size())) {
            for (std::size_t i = 0; i < n; ++i)
                sum += static_cast<unsigned char>(block[i]);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.dump.size()));
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two machines fed byte by byte over the dump in memory, without decoding or output.
void BM_FramesAndMarkers(benchmark::State& state) {
    const Workspace& w = TheWorkspace();
    for (auto _ : state) {
        FrameCapture frames;
        ResetMarkerDetector markers;
        std::size_t frame_count = 0;
        std::size_t marker_count = 0;
        for (char byte : w.dump) {
            marker_count += markers.Feed(byte) ? 1 : 0;
            frame_count += frames.Feed(byte) ? 1 : 0;
        }
        benchmark::DoNotOptimize(frame_count);
        benchmark::DoNotOptimize(marker_count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.dump.size()));
}
BENCHMARK(BM_FramesAndMarkers)->Unit(benchmark::kMillisecond);

// The same machines fed in runs, as the pass feeds them.
void BM_FramesAndMarkersRunWise(benchmark::State& state) {
    const Workspace& w = TheWorkspace();
    const char* const begin = w.dump.data();
    const char* const end = begin + w.dump.size();
    for (auto _ : state) {
        FrameCapture frames;
        ResetMarkerDetector markers;
        std::size_t frame_count = 0;
        std::size_t marker_count = 0;
        for (const char* p = begin; p < end;) {
            bool found = false;
            p = markers.Feed(p, end, found);
            marker_count += found ? 1 : 0;
        }
        for (const char* p = begin; p < end;) {
            bool ready = false;
            p = frames.Feed(p, end, ready);
            frame_count += ready ? 1 : 0;
        }
        benchmark::DoNotOptimize(frame_count);
        benchmark::DoNotOptimize(marker_count);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * w.dump.size()));
}
BENCHMARK(BM_FramesAndMarkersRunWise)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace korvalen

BENCHMARK_MAIN();
