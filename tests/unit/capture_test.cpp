// The timing and size rules of a capture, poll by poll, without a port or a clock.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "serial/capture.h"

namespace korvalen {
namespace {

// One poll: what arrives on the line before it, and the tick count at it. `fail_query`
// makes the port's query of what is waiting fail, `fail_read` the read.
struct PollAt {
    std::uint32_t ms;
    std::string arriving;
    bool fail_query = false;
    bool fail_read = false;
};

// Runs the polls as the reading thread would, with what is waiting kept as a string,
// and writes down what each poll did: S started, R<n> read n bytes, D discarded,
// E ended, E+ ended as a complete transfer of new data, E! ended after a failed read;
// an end after a read in the same poll comes after its R. Polls are separated by "|".
std::string Trace(std::uint32_t start_ms, const std::vector<PollAt>& polls) {
    Capture capture(start_ms);
    std::string waiting;
    std::string trace;
    for (const PollAt& poll : polls) {
        waiting += poll.arriving;
        if (&poll != &polls.front())
            trace += "|";
        std::string step;
        const auto result = capture.OnPoll(
            poll.fail_query ? std::nullopt : std::optional<std::size_t>(waiting.size()), poll.ms);
        if (result.ended)
            step += result.ended->read_failed         ? "E! "
                    : result.ended->complete_new_data ? "E+ "
                                                      : "E ";
        switch (result.step) {
            case Capture::Step::Wait:
                break;
            case Capture::Step::Discard:
                step += "D ";
                waiting.clear();
                break;
            case Capture::Step::Start:
                step += "S ";
                capture.Started();
                [[fallthrough]];
            case Capture::Step::Read: {
                const std::string bytes = poll.fail_read ? "" : waiting.substr(0, result.read_size);
                waiting.erase(0, poll.fail_read ? waiting.size() : bytes.size());
                capture.Received(bytes, poll.fail_read, poll.ms);
                step += "R" + std::to_string(bytes.size()) + " ";
                if (const auto end = capture.EndIfComplete())
                    step += end->complete_new_data ? "E+ " : "E ";
                break;
            }
        }
        if (!step.empty())
            step.pop_back();
        trace += step;
    }
    return trace;
}

TEST(Capture, Rules) {
    struct Row {
        const char* name;
        std::vector<PollAt> polls;
        std::string trace;
        std::uint32_t start_ms = 0;
    };
    const Row rows[] = {
        {"size reached: ends at once, acknowledged",
         {{0, "(ND0000005)abcde"}, {100, ""}},
         "S R16 E+|"},
        {"all data: ends the same way, not acknowledged",
         {{0, "(AD0000005)abcde"}, {100, ""}},
         "S R16 E|"},
        {"size 0: ends with the header, not acknowledged",
         {{0, "(ND0000000)"}, {100, ""}},
         "S R11 E|"},
        {"500 ms of silence end a capture short of its size",
         {{0, "(ND0000010)abcde"}, {100, ""}, {499, ""}, {500, ""}},
         "S R16|||E"},
        {"no header: ends by silence", {{0, "garbage bytes"}, {300, ""}, {600, ""}}, "S R13||E"},
        {"4 stray bytes are discarded, 5 start a capture", {{0, "abcd"}, {100, "abcde"}}, "D|S R5"},
        {"the last 1 to 4 bytes of a transfer are kept",
         {{0, "(ND000000A)abcdefg"}, {100, "hij"}, {200, ""}},
         "S R18|R3 E+|"},
        {"a header split over two reads",
         {{0, "(ND00"}, {100, "00005)abcde"}, {200, ""}},
         "S R5|R11 E+|"},
        {"bytes before the header stay in the transfer",
         {{0, "noise(ND0000003)xyz"}, {100, ""}},
         "S R19 E+|"},
        {"longer than announced: ends by silence, not acknowledged",
         {{0, "(ND0000003)abcde"}, {100, ""}, {500, ""}},
         "S R16||E"},
        {"a transfer arriving as the last one ends starts at once",
         {{0, "(ND0000003)abc"}, {100, "(AD0000002)xy"}, {200, ""}},
         "S R14 E+|S R13 E|"},
        {"a failed read: the capture goes on and ends by silence",
         {{0, "(ND0000006)abc"}, {100, "def", false, true}, {600, ""}},
         "S R14|R0|E!"},
        {"a failed query in a capture: the device may be gone",
         {{0, "(ND0000006)abc"}, {100, "", true}, {500, ""}},
         "S R14||E!"},
        {"a failed query outside a capture is no data", {{0, "", true}, {100, "abcde"}}, "|S R5"},
        {"silence across the wrap of the tick count",
         {{0xFFFFFF00u, "(ND0000009)abc"}, {0xFFFFFFF0u, ""}, {0xF3u, ""}, {0xF4u, ""}},
         "S R14|||E",
         0xFFFFFE00u},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Trace(row.start_ms, row.polls), row.trace) << row.name;
}

TEST(Capture, ReadsNoMoreThanItsBufferAtOnePoll) {
    Capture capture(0);
    const auto poll = capture.OnPoll(100000, 0);
    EXPECT_EQ(poll.step, Capture::Step::Start);
    EXPECT_EQ(poll.read_size, Capture::kReadLimit);
}

}  // namespace
}  // namespace korvalen
