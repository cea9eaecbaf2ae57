// Frames and power-on markers cut out of a stream, fed byte by byte and in runs alike.
#include "decode/frame_capture.h"
#include "decode/reset_marker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/dump_builder.h"

namespace korvalen {
namespace {

// What the two machines report over a stream, with the stream position of each report,
// so that byte-wise and run-wise feeding can be compared exactly.
struct Events {
    std::vector<std::pair<std::size_t, std::string>> frames;
    std::vector<std::size_t> markers;
    bool operator==(const Events&) const = default;
};

Events FeedByteWise(const std::string& stream) {
    Events events;
    FrameCapture frames;
    ResetMarkerDetector markers;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (markers.Feed(stream[i]))
            events.markers.push_back(i);
        if (frames.Feed(stream[i]))
            events.frames.emplace_back(i, std::string(frames.frame()));
    }
    return events;
}

// Feeds in pieces of `piece` bytes, as the pass does with its blocks.
Events FeedRunWise(const std::string& stream, std::size_t piece) {
    Events events;
    FrameCapture frames;
    ResetMarkerDetector markers;
    const char* base = stream.data();
    for (std::size_t start = 0; start < stream.size(); start += piece) {
        const char* end = base + std::min(stream.size(), start + piece);
        for (const char* p = base + start; p < end;) {
            bool found = false;
            p = markers.Feed(p, end, found);
            if (found)
                events.markers.push_back(static_cast<std::size_t>(p - base) - 1);
        }
        for (const char* p = base + start; p < end;) {
            bool ready = false;
            p = frames.Feed(p, end, ready);
            if (ready)
                events.frames.emplace_back(static_cast<std::size_t>(p - base) - 1,
                                           std::string(frames.frame()));
        }
    }
    std::sort(events.markers.begin(), events.markers.end());
    return events;
}

std::vector<std::string> Frames(const std::string& stream) {
    std::vector<std::string> out;
    for (const auto& [at, frame] : FeedByteWise(stream).frames)
        out.push_back(frame);
    return out;
}

const std::string k41 = "GPS07112007452960557520503762430000000012";  // 41 characters

TEST(FrameCapture, CutsFramesAsTheLoggerDelimitsThem) {
    ASSERT_EQ(k41.size(), 41u);
    const std::string k100(100, '1');
    const std::string k101(101, '1');
    const struct {
        const char* name;
        std::string stream;
        std::vector<std::string> frames;
    } cases[] = {
        {"plain frame", ">" + k41 + "<", {k41}},
        {"second > restarts the frame", ">>" + k41 + "<", {k41}},
        {"frame cut by a new one", ">GPS0711<>" + k41 + "<", {k41}},
        {"header and line breaks around", "(ND0000031)\r\n>" + k41 + "<\r\n", {k41}},
        {"< outside a frame is ignored", "<<" + k41 + "<>" + k41 + "<", {k41}},
        {"unrecognised lengths are not handed", ">" + k41.substr(0, 40) + "<>" + k100 + "<", {}},
        {"101 characters abandon the frame, its < is ignored", ">" + k101 + "<" + k41 + "<", {}},
        {"after an overflow the next > resynchronises", ">" + k101 + k41 + "<>" + k41 + "<", {k41}},
        {"every record length is handed",
         ">" + std::string(25, 'x') + "<>" + std::string(49, 'x') + "<>" + std::string(59, 'x') +
             "<>" + std::string(67, 'x') + "<",
         {std::string(25, 'x'), std::string(49, 'x'), std::string(59, 'x'), std::string(67, 'x')}},
        {"unterminated frame at the end", ">" + k41, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Frames(c.stream), c.frames) << c.name;
}

TEST(ResetMarkerDetector, FindsPowerOnMarkersWhateverTheFraming) {
    const struct {
        const char* name;
        std::string stream;
        std::size_t markers;
    } cases[] = {
        {"plain", "RESET", 1},
        {"extra R before", "RRESET", 1},
        {"RESE then RESET", "RESERESET", 1},
        {"two in a row", "RESETRESET", 2},
        {"inside a frame", ">GPSRESET<", 1},
        {"frame delimiters between the letters", "RES<>ET", 0},
        {"split by a line break", "RESE\r\nT", 0},
        {"lower case", "reset", 0},
        {"cut short", "RESE", 0},
        {"R at the end", "xxR", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FeedByteWise(c.stream).markers.size(), c.markers) << c.name;
}

// The pass feeds whole runs of a block for speed; it must see exactly what byte-wise
// feeding sees, wherever the blocks are cut.
TEST(FrameCapture, RunWiseFeedingEqualsByteWiseFeeding) {
    GeneratedDumpOptions options;
    options.size = 64 * 1024;
    options.records_without_id = true;
    std::string noisy = GenerateDump(options);
    // Noise that strains both machines: delimiters, "R"s, overlong frames, bytes > 0x7F.
    std::uint32_t state = 12345;
    std::string noise;
    for (int i = 0; i < 40000; ++i) {
        state = state * 1103515245u + 12345u;
        static const char kAlphabet[] = "<>RESETRRR0123456789\xC8\xFF;ID=";
        noise += kAlphabet[(state >> 16) % (sizeof(kAlphabet) - 1)];
        if ((state >> 8) % 500 == 0)
            noise += ">" + std::string(120, '7') + "<";
        if ((state >> 8) % 500 == 1)
            noise += "RRESET";
    }
    for (const std::string& stream : {noisy, noise, noise + noisy}) {
        const Events reference = FeedByteWise(stream);
        ASSERT_FALSE(reference.markers.empty());
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1000},
                                  std::size_t{4096}, stream.size()}) {
            EXPECT_EQ(FeedRunWise(stream, piece), reference) << "pieces of " << piece;
        }
    }
    EXPECT_GT(FeedByteWise(noisy).frames.size(), 500u);
}

}  // namespace
}  // namespace korvalen
