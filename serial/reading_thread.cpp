// The reading thread at each poll: capture into the dump file, acknowledgement, decoding.
#include "serial/reading_thread.h"

#include <chrono>

#include "platform/crash_point.h"
#include "platform/file_messages.h"
#include "platform/thread_priority.h"
#include "serial/reader_protocol.h"

namespace korvalen {
namespace {

// Why "(SDD)" went or did not, for the read log.
std::string_view AcknowledgementText(const CaptureEnd& end, bool sent, bool kept) {
    if (sent)
        return "отправлено";
    if (end.kind == ReplyKind::AllData && end.size_met)
        return "не отправлено: передача всех данных";
    if (end.kind == ReplyKind::NewData && end.size_met && !end.complete_new_data)
        return "не отправлено: нет новых данных";
    if (!end.size_met)
        return "не отправлено: передача неполная";
    return kept ? "не отправлено" : "не отправлено: дамп не сохранен на диске";
}

std::optional<DumpKind> HeaderKind(ReplyKind kind) {
    if (kind == ReplyKind::NewData)
        return DumpKind::NewData;
    if (kind == ReplyKind::AllData)
        return DumpKind::AllData;
    return std::nullopt;
}

}  // namespace

ReadingThread::ReadingThread(SerialPort& port, ManualResetEvent& stop, DecodeJobs& jobs,
                             WorkerHost& host, std::string port_name, const Clock& clock)
    : port_(port),
      stop_(stop),
      jobs_(jobs),
      work_(jobs.work()),
      host_(host),
      port_name_(std::move(port_name)),
      clock_(clock),
      capture_(clock.TickCountMs()),
      progress_(jobs.work().progress, host),
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
        host_.PortLost();
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
    std::string in_file;
    int error_code = 0;
    std::optional<CaptureDump> dump = jobs_.BeginCapture(error_code, in_file);
    if (!dump) {
        ShowOpenFailure(host_, error_code, in_file, MessageIcon::None);
        return false;
    }
    dump_ = std::move(*dump);
    dump_write_failed_ = false;
    dump_error_code_ = 0;
    host_.SetActionButtonCaption(kAbortCaption);
    work_.capture_active = true;
    host_.SetUiState(UiState::Busy);
    capture_.Started();
    return true;
}

void ReadingThread::ReadWaiting(std::size_t size) {
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
        dump_.file.Write(bytes);
    } catch (const FileError& error) {
        dump_write_failed_ = true;
        dump_error_code_ = error.code();
    }
}

void ReadingThread::EndCapture(const CaptureEnd& end) {
    // The reader forgets what it has sent once it is acknowledged: only a dump that is
    // on the disk whole, and known to the journal, may be.
    if (!dump_write_failed_) {
        try {
            dump_.file.Flush();
            dump_.file.Close();
        } catch (const FileError& error) {
            dump_write_failed_ = true;
            dump_error_code_ = error.code();
        }
    }
    dump_.file = File();
    work_.capture_active = false;

    CaptureReport report{
        .port = port_name_,
        .header = HeaderKind(end.kind),
        .announced = end.kind == ReplyKind::HeaderPending ? -1 : capture_.announced_size(),
        .received = capture_.received_count(),
        .size_met = end.size_met,
        .dump_written = !dump_write_failed_,
        .read_failed = end.read_failed,
        .acknowledged = false,
        .acknowledgement = {},
    };
    if (report.header)
        host_.ReaderAnswered(port_name_);
    const bool kept = jobs_.CaptureEnded(dump_, report);
    report.acknowledged = end.complete_new_data && kept;
    if (report.acknowledged)
        port_.Write(kAcknowledge);
    CrashPoint("sent");
    report.acknowledgement = AcknowledgementText(end, report.acknowledged, kept);
    jobs_.DecodeCaptured(dump_, report);

    if (progress_.Release() == 0)
        host_.SetProgressPosition(0);
    if (dump_write_failed_)
        ShowWriteFailure(host_, CodePeriod::With, dump_error_code_, dump_.path);
    if (end.read_failed)
        host_.ShowMessage(kReadFailureMessage, kProgramCaption, MessageIcon::Stop);
}

void ReadingThread::AbandonCapture() {
    if (!capture_.active())
        return;
    dump_ = CaptureDump();
    progress_.Release();
    work_.capture_active = false;
}

}  // namespace korvalen
