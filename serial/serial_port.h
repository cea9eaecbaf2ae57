// The serial port as the program uses it, implemented on each system and faked in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvalen {

// Read and write time-outs of a port in milliseconds, as the system's serial API takes
// them. The program reads only what is waiting, so its reads never wait for them.
struct SerialTimeouts {
    std::uint32_t read_interval = 0;
    std::uint32_t read_total_multiplier = 0;
    std::uint32_t read_total_constant = 0;
    std::uint32_t write_total_multiplier = 0;
    std::uint32_t write_total_constant = 0;
};

// The two control lines DTR and RTS, switched together. The reader resets its transfer
// when both go off for a moment.
enum class ControlLines { On, Off };

// One open serial device, closed when the object goes. The operations return false (or
// nothing) when the system refused them; last_error() then holds the system's code.
// Implementations: the Win32 comm API, termios, and fakes in tests.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool SetTimeouts(const SerialTimeouts& timeouts) = 0;
    // Asks the driver to note received characters; the program polls and does not wait
    // for the event, but the driver keeps its input state current with it.
    virtual bool SetReceiveEventMask() = 0;
    // Reads the line state, sets both control lines, applies a mode string of the form
    // "baud=115200 parity=N data=8 stop=1" and writes the state back.
    virtual bool SetLineState(std::string_view mode, ControlLines lines) = 0;
    virtual bool SetQueueSizes(std::size_t input, std::size_t output) = 0;
    // Discards both queues and aborts what is pending in either direction.
    virtual bool Purge() = 0;
    // Discards what has been received and not read. What was written stays on its way:
    // a command written just before must not be cut off (on a pseudo-terminal, or an
    // adapter whose driver still holds it, it has not left yet when the write returns).
    virtual bool DiscardInput() = 0;
    // Clears the port's error state and tells how many received bytes wait to be read;
    // nothing when the query failed (a device that has gone away).
    virtual std::optional<std::size_t> BytesWaiting() = 0;
    // Reads up to `size` bytes; how many were read, nothing when the read failed.
    virtual std::optional<std::size_t> Read(void* buffer, std::size_t size) = 0;
    // Reads up to `size` of the bytes waiting now, so that the read never waits for bytes
    // that are not there (the port's read time-outs would hold it for seconds): 0 when
    // nothing waits, nothing when the query or the read failed.
    virtual std::optional<std::size_t> ReadWaiting(void* buffer, std::size_t size) {
        const std::optional<std::size_t> waiting = BytesWaiting();
        if (!waiting)
            return std::nullopt;
        const std::size_t count = *waiting < size ? *waiting : size;
        return count == 0 ? std::optional<std::size_t>(0) : Read(buffer, count);
    }
    // Writes `bytes` in one call; false when the system reported a failure.
    virtual bool Write(std::string_view bytes) = 0;

    virtual int last_error() const = 0;
};

// Opens a serial device for reading and writing, shared with nobody: "COM3" and the
// like on Windows (also above COM9), a device path ("/dev/ttyUSB0", "/dev/pts/4")
// elsewhere. Nothing, and the system's code in `error_code`, when it cannot be opened.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, int& error_code);

// "COM3" for port 3.
std::string ComPortName(int number);

// The reader's line: 115,200 baud, no parity, 8 data bits, 1 stop bit, as a mode string.
std::string ReaderLineMode();

}  // namespace korvalen
