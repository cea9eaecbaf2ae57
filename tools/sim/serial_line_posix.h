// SerialLine: the reader's end of the serial link, a pseudo-terminal or a real device.
#pragma once

#include <cstddef>
#include <string>

#include "tools/sim/unique_fd.h"

namespace korvalen::sim {

// Both kinds are raw 8N1 lines without echo, non-blocking on the simulator's side.
// Opening throws std::runtime_error with the path and the system's reason.
class SerialLine {
  public:
    // A new pseudo-terminal; the program opens its slave, path().
    //
    // The simulator keeps a slave descriptor of its own open for the terminal's whole
    // life and never reads from it: the program (under Wine, opening and closing the port
    // repeatedly) would otherwise leave the master with no slave at all, and the master
    // would see a hang-up between the program's sessions.
    static SerialLine OpenPseudoTerminal();
    // A serial device such as a USB adapter, at 115,200 baud 8N1, no flow control.
    static SerialLine OpenDevice(const std::string& path);

    int fd() const { return line_.get(); }
    const std::string& path() const { return path_; }
    bool is_pseudo_terminal() const { return own_slave_.valid(); }
    // Bytes written that the program has not read yet (pseudo-terminal only; 0 for a
    // device, whose driver does not tell).
    std::size_t UnreadByProgram() const;
    // As a pulled adapter: the master and the own slave go, so the program's side sees
    // the line hang up.
    void Close() {
        line_.Reset();
        own_slave_.Reset();
    }

  private:
    SerialLine(UniqueFd line, UniqueFd own_slave, std::string path)
        : line_(std::move(line)), own_slave_(std::move(own_slave)), path_(std::move(path)) {}

    UniqueFd line_;       // the master of a pseudo-terminal, or the device
    UniqueFd own_slave_;  // pseudo-terminal only
    std::string path_;
};

}  // namespace korvalen::sim
