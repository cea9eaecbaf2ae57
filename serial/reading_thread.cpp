// The reading thread at each poll: capture into the dump file, acknowledgement, decoding.
#include "serial/reading_thread.h"

#include <chrono>

#include "platform/file_messages.h"
#include "platform/thread_priority.h"
#include "serial/dump_file.h"
#include "serial/reader_protocol.h"

namespace korvalen {
ReadingThread::ReadingThread(SerialPort& port, ManualResetEvent& stop, WorkState& work,
                             ReadingHost& host, const Clock& clock)
    : port_(port),
      stop_(stop),
      work_(work),
      host_(host),
      clock_(clock),
      capture_(clock.TickCountMs()),
      progress_(work.progress, host),
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
    const Capture::Poll poll = capture_.OnPoll(port_.BytesWaiting(), clock_.TickCountMs());
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
    const std::string in_file = host_.DumpFilePath();
    int error_code = 0;
    std::optional<File> dump = OpenDumpFile(in_file, error_code);
    if (!dump) {
        ShowOpenFailure(host_, error_code, in_file, MessageIcon::None);
        return false;
    }
    dump_ = std::move(*dump);
    dump_write_failed_ = false;
    dump_error_code_ = 0;
    host_.SetActionButtonCaption(kAbortCaption);
    work_.capture_active = true;
    host_.SetUiState(UiState::Reading);
    capture_.Started();
    return true;
}

void ReadingThread::ReadWaiting(std::size_t size) {
    progress_.Update(capture_.announced_size(), capture_.received_count());
    const std::optional<std::size_t> got = port_.Read(buffer_.data(), size);
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
        dump_.Write(bytes);
    } catch (const FileError& error) {
        dump_write_failed_ = true;
        dump_error_code_ = error.code();
    }
}

void ReadingThread::EndCapture(const CaptureEnd& end) {
    // The reader forgets what it has sent once it is acknowledged: only a dump that is
    // on the disk whole may be.
    const std::string path = dump_.path();
    if (!dump_write_failed_) {
        try {
            dump_.Flush();
            dump_.Close();
        } catch (const FileError& error) {
            dump_write_failed_ = true;
            dump_error_code_ = error.code();
        }
    }
    dump_ = File();
    work_.capture_active = false;

    if (progress_.Release() == 0)
        host_.SetProgressPosition(0);
    if (end.complete_new_data && !dump_write_failed_)
        port_.Write(kAcknowledge);
    host_.DecodeDump(path);
    if (dump_write_failed_)
        ShowWriteFailure(host_, CodePeriod::With, dump_error_code_, path);
    if (end.read_failed)
        host_.ShowMessage(kReadFailureMessage, kProgramCaption, MessageIcon::Stop);
}

void ReadingThread::AbandonCapture() {
    if (!capture_.active())
        return;
    dump_ = File();
    progress_.Release();
    work_.capture_active = false;
}

}  // namespace korvalen
