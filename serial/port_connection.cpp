// Opening, closing and resetting the reader's port, with one reading thread per open port.
#include "serial/port_connection.h"

#include "serial/reader_protocol.h"
#include "serial/reading_thread.h"

namespace korvalen {

PortConnection::PortConnection(DecodeJobs& jobs, const Clock& clock, Opener opener)
    : jobs_(jobs), clock_(clock), opener_(std::move(opener)) {}

PortConnection::~PortConnection() {
    StopReading();
    std::thread reader;
    {
        std::lock_guard lock(reader_mutex_);
        reader = std::move(reader_);
    }
    // Outside the lock: the thread takes it once more to decide that it ends.
    if (reader.joinable())
        reader.join();
}

bool PortConnection::Open(const std::string& device) {
    port_.Detach();
    {
        std::lock_guard lock(reader_mutex_);
        device_ = device;
    }
    int error_code = 0;
    std::unique_ptr<SerialPort> port = opener_(device, error_code);
    if (!port) {
        status_ = PortStatus::Failed;
        open_error_ = error_code;
        stop_.Set();  // a reading thread still about ends
        return false;
    }
    status_ = PortStatus::Open;
    open_error_ = 0;
    // The results are not needed: a port that refuses its settings shows it by what
    // arrives, and a pseudo-terminal or an adapter ignores what it cannot do.
    port->SetTimeouts({.read_interval = 1000,
                       .read_total_multiplier = 1000,
                       .read_total_constant = 1000,
                       .write_total_multiplier = 1000,
                       .write_total_constant = 1000});
    port->SetReceiveEventMask();
    port->SetLineState(ReaderLineMode(), ControlLines::On);
    port->SetQueueSizes(kInputQueueSize, kOutputQueueSize);
    port->Purge();
    port_.Attach(std::move(port));
    StartReading();
    return true;
}

// What has arrived is discarded; what was written stays on its way. A "(SDD)" written just
// before must reach the reader: discarded, it would leave the reader offering the same
// data again, which the next read would deliver a second time.
void PortConnection::Close() {
    stop_.Set();
    port_.DiscardInput();
    port_.Detach();
    status_ = PortStatus::Closed;
}

void PortConnection::StopTransfer(const std::function<void(std::chrono::milliseconds)>& sleep) {
    port_.Write(kStopTransfer);
    port_.DiscardInput();
    port_.SetLineState(ReaderLineMode(), ControlLines::Off);
    port_.DiscardInput();
    sleep(kControlLinesPause);
    port_.SetLineState(ReaderLineMode(), ControlLines::On);
}

void PortConnection::StopReading() {
    stop_.Set();
    port_.DiscardInput();
}

void PortConnection::StartReading() {
    std::lock_guard lock(reader_mutex_);
    stop_.Reset();
    if (reader_running_)
        return;  // it has not seen the stop yet and goes on with this port
    if (reader_.joinable())
        reader_.join();  // it has decided to end and no longer needs the lock or the port
    reader_running_ = true;
    reader_ = std::thread([this, device = device_] {
        ReadingThread thread(port_, stop_, jobs_, device, clock_);
        thread.Run([this] { return ReaderMayEnd(); });
    });
}

bool PortConnection::ReaderMayEnd() {
    std::lock_guard lock(reader_mutex_);
    if (!stop_.IsSet())
        return false;  // opened again since the stop
    reader_running_ = false;
    return true;
}

bool PortConnection::reader_running() const {
    std::lock_guard lock(reader_mutex_);
    return reader_running_;
}

}  // namespace korvalen
