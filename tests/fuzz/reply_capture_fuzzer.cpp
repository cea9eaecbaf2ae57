// Fuzz target: the reply-header search and the capture's rules, played as the reading
// thread plays them against a port: bytes arrive, polls come at odd ticks (across the
// wrap of the tick count), queries and reads fail, a dump may not open. Each step of the
// input (fuzz_steps.h) is one poll; its control byte says
//   bits 0-3  ticks since the last poll, in 50 ms
//   bit 4     the query of what is waiting fails
//   bit 5     the read fails (what waits is lost)
//   bit 6     the dump file cannot be opened (the bytes are discarded)
// and its bytes arrive at the port just before the poll.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fuzz_steps.h"
#include "recording_road.h"
#include "serial/capture.h"
#include "serial/reader_protocol.h"
#include "worker/progress_claims.h"
#include "worker/progress_share.h"

namespace korvalen {
namespace {

// The search on its own over the whole input: a kept part shorter than a header, then a read.
void SearchWholeInput(std::string_view text) {
    const std::size_t kept = text.empty() ? 0 : static_cast<unsigned char>(text[0]) % 11;
    const std::size_t read = text.size() > kept ? text.size() - kept : 0;
    const HeaderSearch found = SearchReplyHeader(text, std::min(kept, text.size()), read);
    if (found.payload_in_read) {
        FUZZ_CHECK(found.text.size() == kReplyHeaderSize);
        FUZZ_CHECK(found.text.front() == '(' && found.text.back() == ')');
        FUZZ_CHECK(*found.payload_in_read <= read);
        const std::int64_t size = AnnouncedPayloadSize(found.text);
        FUZZ_CHECK(size >= 0 && size <= 0xFFFFFF);
    } else {
        FUZZ_CHECK(found.text.size() < kReplyHeaderSize);
        FUZZ_CHECK(found.text.empty() || found.text.front() == '(');
    }
}

void CheckEnd(const CaptureEnd& end, ReplyKind kind, std::int64_t announced,
              std::int64_t received) {
    if (end.complete_new_data)
        FUZZ_CHECK(kind == ReplyKind::NewData && announced > 0 && received == announced);
}

}  // namespace
}  // namespace korvalen

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvalen;
    SearchWholeInput(std::string_view(reinterpret_cast<const char*>(data), size));

    std::uint32_t now = 0xFFFFFE00u;  // the tick count wraps half a second in
    Capture capture(now);
    ProgressClaims claims;
    testing::RecordingRoad host;
    ProgressShare progress(claims, host);
    std::string port;              // arrived, not yet read
    std::int64_t since_start = 0;  // bytes received by the running capture
    const auto end_capture = [&](const CaptureEnd& end, ReplyKind kind, std::int64_t announced,
                                 std::int64_t received) {
        CheckEnd(end, kind, announced, received);
        FUZZ_CHECK(!capture.active());
        progress.Release();
    };

    fuzzing::StepReader steps(data, size);
    fuzzing::Step step;
    while (steps.Next(step)) {
        now += (step.control & 0x0F) * 50u;
        port.append(step.bytes);
        const std::optional<std::size_t> waiting =
            step.control & 0x10 ? std::nullopt : std::optional<std::size_t>(port.size());
        const ReplyKind kind = capture.kind();
        const std::int64_t announced = capture.announced_size();
        const std::int64_t received = capture.received_count();
        const Capture::Poll poll = capture.OnPoll(waiting, now);
        if (poll.ended)
            end_capture(*poll.ended, kind, announced, received);
        FUZZ_CHECK(poll.read_size <= Capture::kReadLimit);
        FUZZ_CHECK((poll.read_size > 0) ==
                   (poll.step == Capture::Step::Start || poll.step == Capture::Step::Read));
        switch (poll.step) {
            case Capture::Step::Wait:
                continue;
            case Capture::Step::Discard:
                FUZZ_CHECK(!capture.active() && port.size() <= Capture::kMaxStrayBytes);
                port.clear();
                continue;
            case Capture::Step::Start:
                FUZZ_CHECK(!capture.active() && port.size() > Capture::kMaxStrayBytes);
                if (step.control & 0x40) {
                    port.clear();
                    continue;
                }
                capture.Started();
                since_start = 0;
                break;
            case Capture::Step::Read:
                FUZZ_CHECK(capture.active());
                break;
        }
        progress.ShowCapture(capture.announced_size(), capture.received_count());
        const bool failed = step.control & 0x20;
        const std::string read = failed ? std::string() : port.substr(0, poll.read_size);
        port.erase(0, failed ? port.size() : read.size());
        capture.Received(read, failed, now);
        since_start += static_cast<std::int64_t>(read.size());
        if (capture.kind() == ReplyKind::HeaderPending) {
            FUZZ_CHECK(capture.received_count() == since_start);
        } else {
            FUZZ_CHECK(capture.received_count() >= 0 && capture.received_count() <= since_start);
            FUZZ_CHECK(capture.announced_size() >= 0 && capture.announced_size() <= 0xFFFFFF);
        }
        const ReplyKind kind_now = capture.kind();
        const std::int64_t announced_now = capture.announced_size();
        const std::int64_t received_now = capture.received_count();
        if (const auto end = capture.EndIfComplete())
            end_capture(*end, kind_now, announced_now, received_now);
    }
    progress.Release();
    FUZZ_CHECK(claims.mask() == 0);
    return 0;
}
