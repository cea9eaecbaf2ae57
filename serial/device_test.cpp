// A self-test run at work: the port polled, the lines collected, the end at the last line or
// after silence.
#include "serial/device_test.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/text_codec.h"
#include "serial/reader_protocol.h"

namespace korvalen {

bool CollectTestOutput(std::vector<std::string>& lines, std::string_view text) {
    std::string current;
    if (!lines.empty()) {
        current = std::move(lines.back());
        lines.pop_back();
    }
    for (char c : text) {
        if (c == '\r') {
            lines.push_back(std::move(current));
            current.clear();
        } else if (c != '\n') {
            current += c;
        }
    }
    lines.push_back(std::move(current));
    return lines.size() > 1 && lines[lines.size() - 2] == kTestEndLine;
}

DeviceTest::DeviceTest(SerialPort& port, const ManualResetEvent& stop, DeviceTestHost& host,
                       const Clock& clock)
    : port_(port),
      stop_(stop),
      host_(host),
      clock_(clock),
      last_data_ms_(clock.TickCountMs()),
      buffer_(kReadLimit) {}

void DeviceTest::Run() {
    // A stop (the dialog closes, or the test is started again) ends the run as it is.
    while (!PollOnce() && !stop_.WaitFor(std::chrono::milliseconds(kPollMs))) {
    }
}

bool DeviceTest::PollOnce() {
    const std::size_t waiting = port_.BytesWaiting().value_or(0);
    if (running_ && (clock_.TickCountMs() - last_data_ms_ >= kSilenceMs || finished_)) {
        End();
        return true;
    }
    if (waiting > 0)
        Read();
    return false;
}

void DeviceTest::Read() {
    if (!running_) {
        running_ = true;
        host_.SetRunning(true);
    }
    last_data_ms_ = clock_.TickCountMs();
    const std::size_t waiting = std::min(port_.BytesWaiting().value_or(0), buffer_.size());
    const std::optional<std::size_t> got =
        waiting == 0 ? std::optional<std::size_t>(0) : port_.Read(buffer_.data(), waiting);
    if (!got) {
        read_failed_ = true;
        port_.Purge();
        return;
    }
    // The report is text: it ends at a zero byte.
    const std::string_view read(buffer_.data(), *got);
    const std::string_view text = read.substr(0, std::min(read.find('\0'), read.size()));
    const std::size_t first_changed = lines_.empty() ? 0 : lines_.size() - 1;
    finished_ = CollectTestOutput(lines_, text) || finished_;
    std::vector<std::string> changed;
    for (std::size_t i = first_changed; i < lines_.size(); ++i)
        changed.push_back(Cp1251ToUtf8(lines_[i]));
    host_.ShowLines(first_changed, changed);
}

void DeviceTest::End() {
    running_ = false;
    host_.SetRunning(false);
    if (read_failed_)
        host_.ShowMessage(kReadFailureMessage, kProgramCaption, MessageIcon::Stop);
}

}  // namespace korvalen
