// SerialLine: the reader's end of the serial link, a pseudo-terminal or a real device.
#include "tools/sim/serial_line_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace korvalen::sim {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    const int error = errno;
    throw std::runtime_error(what + (path.empty() ? "" : " " + path) + ": " + std::strerror(error) +
                             " (" + std::to_string(error) + ")");
}

// Raw 8N1 at 115,200 baud: no echo, no line editing, no translation of CR or LF, no
// flow control. A blocking read on the program's side waits for a byte (the simulator's
// own descriptors do not block).
void MakeRaw(int fd, const std::string& path) {
    termios mode{};
    if (::tcgetattr(fd, &mode) != 0)
        Fail("cannot read the line settings of", path);
    ::cfmakeraw(&mode);
    mode.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
    mode.c_cflag |= CS8 | CLOCAL | CREAD;
    ::cfsetispeed(&mode, B115200);
    ::cfsetospeed(&mode, B115200);
    if (::tcsetattr(fd, TCSANOW, &mode) != 0)
        Fail("cannot set the line settings of", path);
}

}  // namespace

SerialLine SerialLine::OpenPseudoTerminal() {
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.valid())
        Fail("cannot create a pseudo-terminal", "");
    if (::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK) != 0)
        Fail("cannot make the pseudo-terminal non-blocking", "");
    if (::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
        Fail("cannot unlock the pseudo-terminal", "");
    const char* name = ::ptsname(master.get());
    if (name == nullptr)
        Fail("cannot name the pseudo-terminal's slave", "");
    std::string path = name;
    UniqueFd slave(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!slave.valid())
        Fail("cannot open", path);
    // A pseudo-terminal echoes by default: the simulator would read its own answers
    // back as commands.
    MakeRaw(slave.get(), path);
    return SerialLine(std::move(master), std::move(slave), std::move(path));
}

std::size_t SerialLine::UnreadByProgram() const {
    // The own slave shares the input queue the program reads from; asking its size
    // takes nothing out of it.
    int waiting = 0;
    if (!own_slave_.valid() || ::ioctl(own_slave_.get(), FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}

SerialLine SerialLine::OpenDevice(const std::string& path) {
    UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!device.valid())
        Fail("cannot open", path);
    MakeRaw(device.get(), path);
    ::tcflush(device.get(), TCIOFLUSH);
    return SerialLine(std::move(device), UniqueFd(), path);
}

}  // namespace korvalen::sim
