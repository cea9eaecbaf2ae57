// The simulated reader's flash: which bytes a new-data transfer brings, by the handshake.
#include "tools/sim/flash_memory.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace korvalen::sim {
namespace {

// One step of the reader's and the logger's life, with what it must give.
struct Step {
    enum Kind { kAppend, kNewData, kAllData, kComplete, kStop, kAcknowledge, kClear } kind;
    std::string bytes;                 // appended, or the payload expected
    std::optional<std::size_t> acked;  // what an acknowledgement must give
    bool accepted = true;              // whether an append must fit
};
Step Append(std::string bytes) {
    return {Step::kAppend, std::move(bytes), {}};
}
Step AppendRefused(std::string bytes) {
    return {Step::kAppend, std::move(bytes), {}, false};
}
Step NewData(std::string payload) {
    return {Step::kNewData, std::move(payload), {}};
}
Step AllData(std::string payload) {
    return {Step::kAllData, std::move(payload), {}};
}
Step Complete() {
    return {Step::kComplete, "", {}};
}
Step Stop() {
    return {Step::kStop, "", {}};
}
Step Ack(std::size_t bytes) {
    return {Step::kAcknowledge, "", bytes};
}
Step AckNone() {
    return {Step::kAcknowledge, "", std::nullopt};
}
Step Clear() {
    return {Step::kClear, "", {}};
}

TEST(SimFlashMemory, NewDataFollowsTheAcknowledgements) {
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::size_t capacity = FlashMemory::kCapacity;
        std::size_t max_payload = FlashMemory::kMaxPayload;
    } cases[] = {
        {"without (SDD) the same data comes again, with what was recorded since",
         {Append("ab"), NewData("ab"), Complete(), Append("cd"), NewData("abcd"), Complete()}},
        {"after (SDD) only the records written after the transfer began",
         {Append("ab"), NewData("ab"), Append("cd"), Complete(), Ack(2), NewData("cd"), Complete(),
          Ack(2), NewData("")}},
        {"(SDD) without a transfer changes nothing", {Append("ab"), AckNone(), NewData("ab")}},
        {"(SDD) after a stopped or cut transfer changes nothing",
         {Append("ab"), NewData("ab"), Stop(), AckNone(), NewData("ab")}},
        {"a transfer is acknowledged once",
         {Append("ab"), NewData("ab"), Complete(), Ack(2), AckNone(), NewData("")}},
        {"a new request replaces the unacknowledged one",
         {Append("ab"), NewData("ab"), Complete(), Append("cd"), NewData("abcd"), Stop(), AckNone(),
          NewData("abcd")}},
        {"all data brings everything and leaves the mark alone",
         {Append("ab"), NewData("ab"), Complete(), Ack(2), Append("cd"), AllData("abcd"),
          Complete(), AckNone(), NewData("cd")}},
        {"an all-data transfer between does not hide the new-data one",
         {Append("ab"), NewData("ab"), Complete(), AllData("ab"), Complete(), Ack(2)}},
        {"(SEF) empties the flash and the mark; the logger goes on",
         {Append("ab"), NewData("ab"), Complete(), Ack(2), Append("cd"), Clear(), AllData(""),
          Complete(), NewData(""), Complete(), Append("ef"), NewData("ef")}},
        {"(SEF) forgets a transfer not yet acknowledged",
         {Append("ab"), NewData("ab"), Complete(), Clear(), AckNone()}},
        {"what does not fit into one payload stays for the next",
         {Append("abcdefg"), NewData("abc"), Complete(), Ack(3), NewData("def"), Complete(), Ack(3),
          NewData("g"), Complete(), AllData("abc")},
         100,
         3},
        {"a full flash takes no more",
         {Append("abc"), AppendRefused("de"), Append("d"), AppendRefused("e"), AllData("abcd")},
         4},
    };
    for (const auto& c : cases) {
        FlashMemory flash(c.capacity, c.max_payload);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& step = c.steps[i];
            SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(i + 1));
            switch (step.kind) {
                case Step::kAppend:
                    EXPECT_EQ(flash.Append(step.bytes), step.accepted);
                    break;
                case Step::kNewData:
                    EXPECT_EQ(flash.StartTransfer(TransferKind::kNewData), step.bytes);
                    break;
                case Step::kAllData:
                    EXPECT_EQ(flash.StartTransfer(TransferKind::kAllData), step.bytes);
                    break;
                case Step::kComplete:
                    flash.EndTransfer(true);
                    break;
                case Step::kStop:
                    flash.EndTransfer(false);
                    break;
                case Step::kAcknowledge:
                    EXPECT_EQ(flash.Acknowledge(), step.acked);
                    break;
                case Step::kClear:
                    flash.Clear();
                    break;
            }
        }
    }
}

}  // namespace
}  // namespace korvalen::sim
