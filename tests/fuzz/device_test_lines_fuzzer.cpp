// Fuzz target: the device test's line collector, alone and inside a run against a port
// in memory. Each step of the input (fuzz_steps.h) is one read of the reader's report;
// its control byte's bits 0-6 are the ticks since the last poll in 100 ms. The collector
// keeps every byte but CR and LF and splits at CR; the dialog shows exactly the lines
// the run collected.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fake_serial_port.h"
#include "fuzz_check.h"
#include "fuzz_steps.h"
#include "platform/text_codec.h"
#include "serial/device_test.h"
#include "test_clocks.h"

namespace korvalen {
namespace {

class ShownLines : public DeviceTestHost {
  public:
    void ShowLines(std::size_t first, const std::vector<std::string>& changed) override {
        FUZZ_CHECK(first <= lines.size());
        lines.resize(first);
        lines.insert(lines.end(), changed.begin(), changed.end());
    }
    void SetRunning(bool) override {}
    void ShowMessage(std::string_view, std::string_view, MessageIcon) override {}
    std::vector<std::string> lines;
};

void CheckLines(const std::vector<std::string>& lines, std::size_t kept_bytes, bool finished) {
    FUZZ_CHECK(!lines.empty());
    std::size_t total = 0;
    for (const std::string& line : lines) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        total += line.size();
    }
    FUZZ_CHECK(total == kept_bytes);
    FUZZ_CHECK(!finished || lines[lines.size() - 2] == kTestEndLine);
}

}  // namespace
}  // namespace korvalen

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvalen;
    testing::FakeSerialPort port;
    ManualResetEvent stop;
    testing::TickClock clock;
    ShownLines shown;
    DeviceTest run(port, stop, shown, clock);

    std::vector<std::string> collected;  // by the collector alone, from the text the run reads
    std::size_t kept_bytes = 0;
    fuzzing::StepReader steps(data, size);
    fuzzing::Step step;
    while (steps.Next(step)) {
        port.Arrive(std::string(step.bytes));
        clock.ticks += (step.control & 0x7F) * 100u;
        if (run.PollOnce())
            break;  // ended before this read
        if (step.bytes.empty())
            continue;  // nothing waited: no read
        const std::string_view text = step.bytes.substr(0, step.bytes.find('\0'));
        const bool finished = CollectTestOutput(collected, text);
        for (char c : text)
            kept_bytes += c != '\r' && c != '\n';
        CheckLines(collected, kept_bytes, finished);
    }
    if (!collected.empty()) {
        FUZZ_CHECK(shown.lines.size() == collected.size());
        for (std::size_t i = 0; i < collected.size(); ++i)
            FUZZ_CHECK(shown.lines[i] == Cp1251ToUtf8(collected[i]));
    }
    return 0;
}
