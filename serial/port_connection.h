// The connection to the reader: the open port and the one reading thread that watches it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/clock.h"
#include "platform/manual_reset_event.h"
#include "serial/serial_port.h"
#include "serial/shared_serial_port.h"
#include "worker/decode_jobs.h"

namespace korvalen {

// Closed: the user closed the port (or it was never opened); Failed: the last opening
// did not succeed; Open.
enum class PortStatus { Closed, Failed, Open };

// The program's connection to the reader: the port and the one reading thread that
// watches it. The window's thread opens and closes it and writes the commands; the
// reading thread and the device test use the port through port(), which synchronises
// every call.
//
// Exactly one reading thread runs while the port is open. A close sets the thread's
// stop event; the thread ends at its next poll unless the port has been opened again
// by then, in which case it goes on with the new port. Whether it ends is decided under
// a lock shared with the opening, so an opening never sees a thread that is about to
// end as one that runs.
class PortConnection {
  public:
    using Opener =
        std::function<std::unique_ptr<SerialPort>(const std::string& device, int& error_code)>;

    static constexpr std::size_t kInputQueueSize = 10000;
    static constexpr std::size_t kOutputQueueSize = 1024;
    static constexpr std::chrono::milliseconds kControlLinesPause{200};

    // `jobs` (and its events) is shared with the reading thread and must outlive the
    // connection.
    explicit PortConnection(DecodeJobs& jobs, const Clock& clock = SystemClock(),
                            Opener opener = OpenSerialPort);
    // Stops the reading thread and waits for it: the owner makes sure first that the
    // thread is not waiting for it (see reader_running()).
    ~PortConnection();
    PortConnection(const PortConnection&) = delete;
    PortConnection& operator=(const PortConnection&) = delete;

    // Opens the device ("COM3", a device path), sets it up for the reader (time-outs,
    // events, 115200 8N1 with DTR and RTS on, queue sizes, empty queues) and starts the
    // reading thread unless one still runs. False when the device could not be opened:
    // the status is then Failed and open_error() holds the system's code.
    bool Open(const std::string& device);
    // Stops the reading thread (within one poll), discards what has arrived, closes the
    // port.
    void Close();
    PortStatus status() const { return status_; }
    int open_error() const { return open_error_; }

    // The port as the other threads share it.
    SerialPort& port() { return port_; }
    // A reader command, written in one call; the reader's answer (or silence) tells
    // whether it arrived.
    void SendCommand(std::string_view command) { port_.Write(command); }
    // Stops a running transfer: "(SSS)", then both control lines off for `pause` and on
    // again, which resets a reader that did not hear the command. What is on its way in
    // is discarded, the command is not. The capture itself ends once the line is silent.
    void StopTransfer(const std::function<void(std::chrono::milliseconds)>& sleep);

    // The device test has the port to itself while its dialog is open.
    void StopReading();
    // Starts the reading thread unless one runs; the stop event is reset first.
    void StartReading();
    // Whether a reading thread has not yet decided to end. A window that goes waits,
    // answering its messages, until this is false.
    bool reader_running() const;

  private:
    bool ReaderMayEnd();

    DecodeJobs& jobs_;
    const Clock& clock_;
    const Opener opener_;

    SharedSerialPort port_;
    PortStatus status_ = PortStatus::Closed;  // window's thread only
    int open_error_ = 0;                      // window's thread only
    ManualResetEvent stop_;
    std::string device_;  // written before a reading thread starts, read by it

    mutable std::mutex reader_mutex_;
    bool reader_running_ = false;  // guarded by reader_mutex_
    std::thread reader_;           // started and joined under reader_mutex_
};

}  // namespace korvalen
