// The reading thread at each poll: capture into the dump file, acknowledgement, decoding.
#include "serial/reading_thread.h"

#include <chrono>

#include "platform/crash_point.h"
#include "platform/thread_priority.h"
#include "serial/reader_protocol.h"

namespace korvalen {
namespace {

std::optional<DumpKind> HeaderKind(ReplyKind kind) {
    if (kind == ReplyKind::NewData)
        return DumpKind::NewData;
    if (kind == ReplyKind::AllData)
        return DumpKind::AllData;
    return std::nullopt;
}

}  // namespace

ReadingThread::ReadingThread(SerialPort& port, ManualResetEvent& stop, DecodeJobs& jobs,
                             std::string port_name, const Clock& clock)
    : port_(port),
      stop_(stop),
      jobs_(jobs),
      events_(jobs.events()),
      port_name_(std::move(port_name)),
      clock_(clock),
      capture_(clock.TickCountMs()),
      progress_(jobs.progress(), jobs.events()),
      buffer_(Capture::kReadLimit) {}

void ReadingThread::Run(const std::function<bool()>& may_end) {
    RaiseCurrentThreadPriority();
    capture_ = Capture(clock_.TickCountMs());
    for (;;) {
        PollOnce();
        if (stop_.WaitFor(std::chrono::milliseconds(kPollMs)) && may_end())
            break;
    }
    AbandonCapture();
}

void ReadingThread::PollOnce() {
    const std::optional<std::size_t> waiting = port_.BytesWaiting();
    if (lost_port_.OnPoll(!waiting, capture_.active()))
        events_.PortLost();
    const Capture::Poll poll = capture_.OnPoll(waiting, clock_.TickCountMs());
    if (poll.ended)
        EndCapture(*poll.ended);
    switch (poll.step) {
        case Capture::Step::Wait:
            return;
        case Capture::Step::Discard:
            port_.DiscardInput();
            return;
        case Capture::Step::Start:
            if (!StartCapture()) {
                // The bytes go, so that the next poll does not raise the same message
                // again at once; the reader keeps its data, nothing was acknowledged.
                port_.DiscardInput();
                return;
            }
            ReadWaiting(poll.read_size);
            return;
        case Capture::Step::Read:
            ReadWaiting(poll.read_size);
            return;
    }
}

bool ReadingThread::StartCapture() {
    auto begun = jobs_.BeginCapture();
    if (const auto* refusal = std::get_if<CaptureRefusal>(&begun)) {
        events_.CaptureRefused(*refusal);
        return false;
    }
    dump_.emplace(std::move(std::get<CaptureHandle>(begun)));
    dump_write_failed_ = false;
    dump_error_code_ = 0;
    events_.CaptureStarted(port_name_);
    capture_.Started();
    return true;
}

void ReadingThread::ReadWaiting(std::size_t size) {
    events_.CaptureReceived(capture_.received_count(), capture_.announced_size());
    progress_.ShowCapture(capture_.announced_size(), capture_.received_count());
    const std::optional<std::size_t> got = port_.ReadWaiting(buffer_.data(), size);
    if (!got)
        port_.DiscardInput();
    const std::string_view bytes(buffer_.data(), got.value_or(0));
    capture_.Received(bytes, !got, clock_.TickCountMs());
    WriteToDump(bytes);
    if (const auto end = capture_.EndIfComplete())
        EndCapture(*end);
}

// After a failed write (a full disk) nothing more is written: the dump holds exactly
// what arrived before the failure, and the transfer is not acknowledged, so the reader
// keeps the data for the next read.
void ReadingThread::WriteToDump(std::string_view bytes) {
    if (bytes.empty() || dump_write_failed_)
        return;
    try {
        dump_->file().Write(bytes);
    } catch (const FileError& error) {
        dump_write_failed_ = true;
        dump_error_code_ = error.code();
    }
}

void ReadingThread::EndCapture(const CaptureEnd& end) {
    if (!dump_)
        return;
    // The reader forgets what it has sent once it is acknowledged: only a dump that is
    // on the disk whole may be.
    if (!dump_write_failed_) {
        try {
            dump_->file().Flush();
            dump_->file().Close();
        } catch (const FileError& error) {
            dump_write_failed_ = true;
            dump_error_code_ = error.code();
        }
    }
    CaptureReport report{
        .port = port_name_,
        .dump = dump_->path(),
        .header = HeaderKind(end.kind),
        .announced = end.kind == ReplyKind::HeaderPending ? -1 : capture_.announced_size(),
        .received = capture_.received_count(),
        .size_met = end.size_met,
        .dump_written = !dump_write_failed_,
        .dump_error = dump_error_code_,
        .read_failed = end.read_failed,
        .acknowledged = false,
        .acknowledgement = {},
    };
    if (report.header)
        events_.ReaderAnswered(port_name_);
    // The progress is given back first: the capture's end may wait for a person (its
    // messages), and its pass must find the progress free when it ends.
    if (progress_.Release() == 0)
        events_.ProgressMoved({.range = {}, .position = 0});
    CaptureHandle capture = std::move(*dump_);
    dump_.reset();
    capture.End(std::move(report), [this] { port_.Write(kAcknowledge); });
}

void ReadingThread::AbandonCapture() {
    if (!capture_.active())
        return;
    dump_.reset();
    progress_.Release();
}

}  // namespace korvalen
