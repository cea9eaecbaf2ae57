// ReaderDevice: the reader's side of the protocol: commands in, answers out, events logged.
#include "tools/sim/reader_device.h"

#include <algorithm>
#include <vector>

#include "support/dump_builder.h"

namespace korvalen::sim {
namespace {

constexpr Milliseconds kTestLinePause{200};

// The noise of a line: any byte but those that could make a header, a frame or a
// power-on marker of it ("(", ")", "<", ">", upper-case letters), or end the text the
// program collects while it looks for the header (a zero byte).
bool IsNoiseByte(unsigned char byte) {
    return byte != 0 && byte != '(' && byte != ')' && byte != '<' && byte != '>' &&
           !(byte >= 'A' && byte <= 'Z');
}

// "12.3": a share in tenths of a percent.
std::string Percent(std::size_t part, std::size_t whole) {
    const std::size_t tenths = part * 1000 / std::max<std::size_t>(1, whole);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
}

}  // namespace

std::vector<std::string> TestReportLines(const FlashMemory& flash) {
    return {
        "Reader self-test",
        "Firmware: 2.07 (simulated reader)",
        "Flash: " + std::to_string(flash.capacity()) + " bytes, " + std::to_string(flash.size()) +
            " used (" + Percent(flash.size(), flash.capacity()) + "), " +
            std::to_string(flash.new_data_size()) + " new",
        "Flash check: OK",
        "Battery: 3.97 V",
        "GPS module: OK, 9 satellites, 3D fix",
        "Test is finished",
    };
}

ReaderDevice::ReaderDevice(FlashMemory& flash, const ReaderOptions& options, EventSink log)
    : flash_(flash),
      options_(options),
      log_(std::move(log)),
      pacer_(options.pace > 0 ? options.pace * kLineBytesPerSecond : 0),
      noise_random_(options.seed) {}

void ReaderDevice::Receive(std::string_view bytes) {
    for (const std::string& command : scanner_.Feed(bytes))
        Execute(command);
}

void ReaderDevice::PressButton() {
    log_("button");
    Execute("(QND)");
}

void ReaderDevice::Execute(const std::string& command) {
    log_("command " + command);
    if (answer_ != Answer::kNone) {
        if (command == "(SSS)")
            Stop();
        else
            log_("ignored " + command + " busy");
        return;
    }
    if (command == "(QND)") {
        StartTransfer(TransferKind::kNewData);
    } else if (command == "(QAD)") {
        StartTransfer(TransferKind::kAllData);
    } else if (command == "(SDD)") {
        const auto acknowledged = flash_.Acknowledge();
        log_(acknowledged ? "ack " + std::to_string(*acknowledged) : "ack none");
    } else if (command == "(SEF)") {
        const std::size_t dropped = flash_.size();
        flash_.Clear();
        log_("flash-cleared " + std::to_string(dropped));
    } else if (command == "(QTF)") {
        StartTestReport();
    } else if (command == "(SSS)") {
        log_("ignored (SSS) idle");
    } else {
        log_("ignored " + command + " unknown");
    }
}

void ReaderDevice::StartTransfer(TransferKind kind) {
    const bool new_data = kind == TransferKind::kNewData;
    const std::string payload = flash_.StartTransfer(kind);
    const bool faulty = !options_.faults.first_transfer_only || transfers_started_ == 0;
    ++transfers_started_;
    const TransferFaults faults = faulty ? options_.faults : TransferFaults{};

    std::string bytes = Noise(faults.noise) + ReplyHeader(payload.size(), new_data);
    payload_start_ = bytes.size();
    bytes += payload;
    bytes += Noise(faults.extra);
    std::vector<Transmission::Pause> pauses;
    if (faults.stall_at)
        pauses.push_back({payload_start_ + *faults.stall_at, faults.stall_length});
    // The earlier of a cut and a vanishing wins: after it nothing more is sent.
    std::optional<Transmission::BreakOff> break_off;
    const auto break_off_at = [&](std::optional<std::size_t> at, TransmissionEnd end) {
        if (at && (!break_off || payload_start_ + *at < break_off->at))
            break_off = Transmission::BreakOff{payload_start_ + *at, end};
    };
    break_off_at(faults.cut_at, TransmissionEnd::kCut);
    break_off_at(faults.vanish_at, TransmissionEnd::kVanished);

    transmission_.emplace(std::move(bytes), std::move(pauses), break_off);
    answer_ = new_data ? Answer::kNewData : Answer::kAllData;
    log_(std::string("transfer ") + (new_data ? "ND " : "AD ") + std::to_string(payload.size()));
}

void ReaderDevice::StartTestReport() {
    const std::vector<std::string> lines = TestReportLines(flash_);
    const Milliseconds pause =
        options_.pace > 0 ? std::chrono::duration_cast<Milliseconds>(kTestLinePause / options_.pace)
                          : Milliseconds{0};
    std::string bytes;
    std::vector<Transmission::Pause> pauses;
    for (const std::string& line : lines) {
        bytes += line + "\r\n";
        pauses.push_back({bytes.size(), pause});
    }
    transmission_.emplace(std::move(bytes), std::move(pauses), std::nullopt);
    answer_ = Answer::kTestReport;
    payload_start_ = 0;
    log_("test-report " + std::to_string(lines.size()) + " lines");
}

std::string_view ReaderDevice::Ready(SteadyTime now) {
    if (!transmission_)
        return {};
    return transmission_->Ready(now, pacer_);
}

void ReaderDevice::Written(std::size_t count, SteadyTime now) {
    if (!transmission_)
        return;
    const auto pause = transmission_->Written(count, now, pacer_);
    if (pause && answer_ != Answer::kTestReport)
        log_("stall " + std::to_string(pause->count()) + " ms at " + std::to_string(PayloadSent()));
    if (const auto end = transmission_->end())
        Finish(*end);
}

std::optional<SteadyTime> ReaderDevice::NextChanceAt(SteadyTime now) const {
    if (!transmission_)
        return std::nullopt;
    return transmission_->NextChanceAt(now, pacer_);
}

void ReaderDevice::Finish(TransmissionEnd end) {
    const std::size_t sent = PayloadSent();
    if (answer_ == Answer::kTestReport) {
        log_("test-report sent");
    } else {
        flash_.EndTransfer(end == TransmissionEnd::kComplete);
        switch (end) {
            case TransmissionEnd::kComplete:
                log_("transfer-end complete " + std::to_string(sent));
                break;
            case TransmissionEnd::kCut:
                log_("transfer-end cut " + std::to_string(sent));
                break;
            case TransmissionEnd::kVanished:
                log_("transfer-end vanished " + std::to_string(sent));
                vanished_at_ = sent;
                break;
        }
    }
    transmission_.reset();
    answer_ = Answer::kNone;
}

void ReaderDevice::Stop() {
    const std::size_t sent = PayloadSent();
    if (answer_ == Answer::kTestReport) {
        log_("test-report stopped");
    } else {
        flash_.EndTransfer(false);
        log_("transfer-end stopped " + std::to_string(sent));
    }
    transmission_.reset();
    answer_ = Answer::kNone;
}

std::size_t ReaderDevice::PayloadSent() const {
    if (!transmission_)
        return 0;
    const std::size_t sent = transmission_->sent();
    return sent > payload_start_ ? sent - payload_start_ : 0;
}

std::string ReaderDevice::Noise(std::size_t count) {
    std::string noise;
    noise.reserve(count);
    while (noise.size() < count) {
        const auto byte = static_cast<unsigned char>(noise_random_() & 0xFF);
        if (IsNoiseByte(byte))
            noise += static_cast<char>(byte);
    }
    return noise;
}

}  // namespace korvalen::sim
