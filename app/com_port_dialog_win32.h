// The dialog in which the user picks the reader's COM port.
#pragma once

#include <windows.h>

#include <optional>

#include "serial/port_identity.h"

namespace korvalen {

// What the user did in the COM-port dialog.
struct ComPortAnswer {
    bool accepted = false;  // "Установить"; false for "Отмена", Esc or the close box
    std::optional<int> port;  // the chosen port's number; none when no entry was selected
};

// The COM-port dialog (resource 130), modal, starting at port `com`: COM1 to COM6 and
// every other port the system has; a port not among them starts with none selected. For
// the selected port it shows the device behind it and whether another program holds it;
// `open_port`, the port the program holds itself, is not tried. The port of the reader's
// adapter `reader_adapter` (when given) is marked "(считыватель)", or each of several
// identical ones "(считыватель?)". Speed, parity, data and stop bits are shown fixed at
// the reader's 115200, None, 8, 1.
ComPortAnswer AskComPort(HWND owner, int com, std::optional<int> open_port,
                         const PortIdentity* reader_adapter);

}  // namespace korvalen
