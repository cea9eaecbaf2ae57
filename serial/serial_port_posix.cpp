// POSIX side of the serial port: termios on a raw line, for adapters and pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "serial/line_mode.h"
#include "serial/serial_port.h"

namespace korvalen {
namespace {

speed_t SpeedOf(int baud) {
    switch (baud) {
        case 300:
            return B300;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

tcflag_t DataBitsFlag(int bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// A serial device through termios: a USB adapter, a built-in port, a pseudo-terminal.
// The line is raw, and reads return at once with what is there (VMIN = VTIME = 0), so
// the time-outs the program sets have nothing left to do.
class PosixSerialPort final : public SerialPort {
  public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}
    ~PosixSerialPort() override {
        // The exclusive mode belongs to the terminal, not to this descriptor: it would
        // outlive it while another holder (a simulator's own end) keeps the device.
        if (exclusive_)
            ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }

    void MakeExclusive() { exclusive_ = ::ioctl(fd_, TIOCEXCL) == 0; }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool SetTimeouts(const SerialTimeouts&) override { return true; }
    bool SetReceiveEventMask() override { return true; }
    bool SetQueueSizes(std::size_t, std::size_t) override { return true; }

    bool SetLineState(std::string_view mode_text, ControlLines lines) override {
        const auto mode = ParseLineMode(mode_text);
        if (!mode || SpeedOf(mode->baud) == B0)
            return Fail(EINVAL);
        termios line{};
        if (::tcgetattr(fd_, &line) != 0)
            return Fail(errno);
        ::cfmakeraw(&line);
        line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        line.c_cflag |= DataBitsFlag(mode->data_bits) | CLOCAL | CREAD;
        if (mode->parity == 'O' || mode->parity == 'E')
            line.c_cflag |= PARENB | (mode->parity == 'O' ? PARODD : 0);
        if (mode->stop_half_bits > 2)
            line.c_cflag |= CSTOPB;
        line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        line.c_cc[VMIN] = 0;
        line.c_cc[VTIME] = 0;
        ::cfsetispeed(&line, SpeedOf(mode->baud));
        ::cfsetospeed(&line, SpeedOf(mode->baud));
        if (::tcsetattr(fd_, TCSANOW, &line) != 0)
            return Fail(errno);
        // A pseudo-terminal has no modem lines and refuses this; a real adapter obeys.
        int bits = TIOCM_DTR | TIOCM_RTS;
        ::ioctl(fd_, lines == ControlLines::On ? TIOCMBIS : TIOCMBIC, &bits);
        return true;
    }

    bool Purge() override { return ::tcflush(fd_, TCIOFLUSH) == 0 || Fail(errno); }
    bool DiscardInput() override { return ::tcflush(fd_, TCIFLUSH) == 0 || Fail(errno); }

    std::optional<std::size_t> BytesWaiting() override {
        int waiting = 0;
        if (::ioctl(fd_, FIONREAD, &waiting) != 0) {
            Fail(errno);
            return std::nullopt;
        }
        if (waiting > 0)
            return static_cast<std::size_t>(waiting);
        // An adapter that was pulled, or a pseudo-terminal whose other side has closed,
        // still reports an empty queue; the hang-up tells them from a quiet line.
        pollfd state{fd_, POLLIN, 0};
        if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            Fail(EIO);
            return std::nullopt;
        }
        return 0;
    }

    std::optional<std::size_t> Read(void* buffer, std::size_t size) override {
        const ssize_t got = ::read(fd_, buffer, size);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return 0;
            Fail(errno);
            return std::nullopt;
        }
        return static_cast<std::size_t>(got);
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t sent = ::write(fd_, bytes.data(), bytes.size());
            if (sent < 0) {
                if (errno == EINTR)
                    continue;
                return Fail(errno);
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    int last_error() const override { return last_error_; }

  private:
    bool Fail(int code) {
        last_error_ = code;
        return false;
    }

    int fd_;
    bool exclusive_ = false;
    int last_error_ = 0;
};

}  // namespace

std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, int& error_code) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error_code = errno;
        return nullptr;
    }
    // From here the port object owns the descriptor, and closes it on every failure.
    auto port = std::make_unique<PosixSerialPort>(fd);
    // Shared with nobody: other programs that honour the lock, and (for those that do
    // not, unless they run as root) the terminal's exclusive mode.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_code = errno;
        return nullptr;
    }
    port->MakeExclusive();
    // Writes wait for the line as on Windows; reads never wait (VMIN = VTIME = 0).
    const int flags = ::fcntl(fd, F_GETFL);
    termios line{};
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        ::tcgetattr(fd, &line) != 0) {  // the last: not a terminal at all
        error_code = errno;
        return nullptr;
    }
    // Raw at once, so that nothing is echoed or translated before the line is set.
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &line);
    error_code = 0;
    return port;
}

}  // namespace korvalen
