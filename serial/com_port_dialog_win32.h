// The dialog in which the user picks the reader's COM port.
#pragma once

#include <windows.h>

#include <optional>

namespace korvalen {

// What the user did in the COM-port dialog.
struct ComPortAnswer {
    bool accepted = false;  // "Установить"; false for "Отмена", Esc or the close box
    std::optional<int> port;  // the chosen port, 1 to 6; none when no entry was selected
};

// The COM-port dialog (resource 130), modal, starting at port `com`; a number outside 1
// to 6 starts with no port selected. Speed, parity, data and stop bits are shown fixed
// at the reader's 115200, None, 8, 1.
ComPortAnswer AskComPort(HWND owner, int com);

}  // namespace korvalen
